#include "hvx/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "voice/safe_replace.h"

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

bool readFileUpTo(const std::string& path, std::size_t maxBytes, std::string& bytes,
                  std::string& error) {
  if (!isRegularFile(path, error)) {
    return false;
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
    return false;
  }
  const std::size_t most = maxBytes + 1;
  const auto size = static_cast<std::uintmax_t>(std::max<off_t>(info.st_size, 0));
  // The size only sets the first allocation; the read itself stops at `most`.
  bytes.assign(static_cast<std::size_t>(std::min<std::uintmax_t>(size + 1, most)), '\0');
  std::size_t done = 0;
  while (done < most) {
    if (done == bytes.size()) {
      bytes.resize(std::min(most, bytes.size() * 2));
    }
    const ssize_t got = ::read(file, &bytes[done], bytes.size() - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      error = std::string("cannot read: ") + std::strerror(errno);
      ::close(file);
      return false;
    }
    if (got == 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  ::close(file);
  bytes.resize(done);
  return true;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  if (!readFileUpTo(path, kMaxInputFileBytes, bytes, error)) {
    return false;
  }
  if (bytes.size() > kMaxInputFileBytes) {
    bytes.clear();
    error = "too large (more than " + std::to_string(kMaxInputFileBytes >> 20) +
            " MiB), more than any file hvx reads";
    return false;
  }
  return true;
}

bool writeFileSafely(const std::string& path, const std::string& bytes, std::string& error) {
  std::error_code status;
  if (fs::is_directory(path, status)) {
    error = "is a folder, not a file";
    return false;
  }
  errno = 0;
  Replacement replacement;
  if (!beginReplacement(path.c_str(), replacement)) {
    error = std::string("cannot be written") +
            (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
    return false;
  }
  const bool complete = writeReplacement(
      replacement, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  const int writeErrno = errno;
  if (!finishReplacement(replacement, complete)) {
    error = std::string("cannot be written") +
            (!complete && writeErrno != 0 ? ": " + std::string(std::strerror(writeErrno)) : "");
    return false;
  }
  return true;
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
