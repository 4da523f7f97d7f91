#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::error_code status;
  if (fs::is_directory(path, status)) {
    error = "is a folder, not a file";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) {
    error = "cannot read the file";
    return false;
  }
  bytes = content.str();
  return true;
}

namespace {

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Creates a new file beside `target` that no one else uses. The kernel
// gives it the usual permission bits: 0666 less the umask.
int createTemporary(const fs::path& target, std::string& name) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = (folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "-" +
                      std::to_string(attempt) + ".tmp"))
               .string();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  return -1;
}

}  // namespace

bool writeFileSafely(const std::string& path, const std::string& bytes, std::string& error) {
  struct stat existing {};
  const bool replacing = ::stat(path.c_str(), &existing) == 0;
  if (replacing && !S_ISREG(existing.st_mode)) {
    error = "is not a regular file; not replaced";
    return false;
  }
  std::string temporary;
  const int fd = createTemporary(fs::path(path), temporary);
  if (fd < 0) {
    error = std::string("cannot write in its folder: ") + std::strerror(errno);
    return false;
  }
  bool ok = writeAll(fd, bytes) &&
            (!replacing || ::fchmod(fd, existing.st_mode & static_cast<mode_t>(07777)) == 0) &&
            ::fsync(fd) == 0;
  int failure = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    error = std::string("cannot write: ") + std::strerror(failure);
    ::unlink(temporary.c_str());
  }
  return ok;
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
