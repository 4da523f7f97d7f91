#include "hvx/files/safe_write.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {
std::string cannotBeWritten(int error) {
  return std::string("cannot be written") +
         (error != 0 ? ": " + std::string(std::strerror(error)) : "");
}
}  // namespace

bool writeFileThrough(const std::string& path, const FileFiller& fill, std::string& error) {
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) {
    error = "is a folder, not a file";
    return false;
  }
  errno = 0;
  Replacement replacement;
  if (!beginReplacement(path.c_str(), replacement)) {
    error = cannotBeWritten(errno);
    return false;
  }
  std::string problem;
  errno = 0;
  const bool complete = fill(replacement, problem);
  const int fillErrno = errno;
  if (!finishReplacement(replacement, complete)) {
    if (complete) {
      error = "cannot be written";
    } else {
      error = problem.empty() ? cannotBeWritten(fillErrno) : problem;
    }
    return false;
  }
  return true;
}

bool writeFileSafely(const std::string& path, const std::string& bytes, std::string& error) {
  return writeFileThrough(
      path,
      [&bytes](Replacement& file, std::string&) {
        return writeReplacement(file, reinterpret_cast<const unsigned char*>(bytes.data()),
                                bytes.size());
      },
      error);
}
