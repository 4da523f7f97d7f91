#include "hvx/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

bool isRegularFile(const std::string& path, std::string& error) {
  std::error_code status;
  const fs::file_status kind = fs::status(path, status);
  if (status) {
    error = "cannot open: " + status.message();
    return false;
  }
  if (!fs::is_regular_file(kind)) {
    error = fs::is_directory(kind) ? "is a folder, not a file" : "is not a regular file";
    return false;
  }
  return true;
}

namespace {

// Reads go in whole pieces of this: some files (in /proc) take no other sizes.
constexpr std::size_t kReadPiece = std::size_t{1} << 16;

std::size_t wholePieces(std::size_t bytes) {
  return (bytes + kReadPiece - 1) / kReadPiece * kReadPiece;
}

}  // namespace

FileRead readFileUpTo(const std::string& path, std::size_t maxBytes, std::string& bytes,
                      std::string& error) {
  bytes.clear();
  if (!isRegularFile(path, error)) {
    return FileRead::Failed;
  }
  // Not blocking: the name may have become a FIFO since it was looked at.
  const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat info {};
  if (file < 0 || ::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
    error =
        file < 0 ? std::string("cannot open: ") + std::strerror(errno) : "is not a regular file";
    if (file >= 0) {
      ::close(file);
    }
    return FileRead::Failed;
  }
  const auto size = static_cast<std::uintmax_t>(std::max<off_t>(info.st_size, 0));
  if (size > maxBytes) {
    ::close(file);
    return FileRead::TooLarge;
  }
  // The size only sets the first reservation: the file may grow, and some
  // files say 0 and hold more. Bytes are appended as they come, so memory
  // follows what was read; past the reservation it goes straight to the cap
  // (one copy, not one at every doubling).
  const std::size_t most = wholePieces(maxBytes + 1);
  std::string read;
  read.reserve(std::min(most, wholePieces(static_cast<std::size_t>(size) + 1)));
  std::vector<char> piece(kReadPiece);
  while (read.size() <= maxBytes) {
    const ssize_t got = ::read(file, piece.data(), piece.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      ::close(file);
      return FileRead::Failed;
    }
    if (got == 0) {
      break;
    }
    if (read.size() + static_cast<std::size_t>(got) > read.capacity()) {
      read.reserve(most);
    }
    read.append(piece.data(), static_cast<std::size_t>(got));
  }
  const std::size_t done = read.size();
  ::close(file);
  if (done > maxBytes) {
    return FileRead::TooLarge;
  }
  bytes = std::move(read);
  return FileRead::Read;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  const FileRead outcome = readFileUpTo(path, kMaxInputFileBytes, bytes, error);
  if (outcome == FileRead::TooLarge) {
    error = "too large (more than " + std::to_string(kMaxInputFileBytes >> 20) +
            " MiB), more than any file hvx reads";
  }
  return outcome == FileRead::Read;
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ignored;
  if (fs::equivalent(a, b, ignored)) {
    return true;
  }
  // When one does not exist yet, compare where the names lead.
  std::error_code leftError, rightError;
  const fs::path left = fs::weakly_canonical(a, leftError);
  const fs::path right = fs::weakly_canonical(b, rightError);
  return !leftError && !rightError && left == right;
}
