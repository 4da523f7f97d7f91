#include "hvx/files/file_io.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  if (!isRegularFile(path, error)) {
    return false;
  }
  std::error_code status;
  const std::uintmax_t size = fs::file_size(path, status);
  if (!status && size > kMaxInputFileBytes) {
    error = "too large (" + std::to_string(size) + " bytes), more than any picture hvx reads";
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
