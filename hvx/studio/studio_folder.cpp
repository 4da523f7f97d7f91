#include "hvx/studio/studio_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>

namespace {

// Extensions of the formats the picture decoder reads.
bool hasPictureExtension(const std::string& name) {
  static const char* const kExtensions[] = {".bmp", ".png", ".jpg", ".jpeg", ".gif", ".tga",
                                            ".psd", ".pgm", ".ppm", ".pnm",  ".hdr", ".pic"};
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* extension : kExtensions) {
    const std::size_t length = std::strlen(extension);
    if (lower.size() > length && lower.compare(lower.size() - length, length, extension) == 0) {
      return true;
    }
  }
  return false;
}

bool writeAll(int file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(file, bytes.data() + done, bytes.size() - done);
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

std::string temporaryNameFor(const std::string& name) {
  static thread_local std::mt19937 generator{std::random_device{}()};
  return "." + name + ".tmp-" + std::to_string(generator());
}

}  // namespace

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name.size() <= 255 && name[0] != '.' &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

PictureFolder::~PictureFolder() {
  if (folder_ >= 0) {
    ::close(folder_);
  }
}

bool PictureFolder::open(const std::string& path, std::string& error) {
  const int handle = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) {
    error = "cannot open folder \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  if (folder_ >= 0) {
    ::close(folder_);
  }
  folder_ = handle;
  path_ = path;
  return true;
}

std::vector<std::string> PictureFolder::listPictures() const {
  std::vector<std::string> names;
  if (folder_ < 0) {
    return names;
  }
  // A handle of its own: closedir closes it, and the listing restarts each time.
  const int handle = ::openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) {
    return names;
  }
  DIR* listing = ::fdopendir(handle);
  if (listing == nullptr) {
    ::close(handle);
    return names;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    struct stat info {};
    if (!isPlainFileName(name) || !hasPictureExtension(name) ||
        ::fstatat(folder_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    names.push_back(name);
  }
  ::closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

bool PictureFolder::readPicture(const std::string& name, std::size_t maxBytes, std::string& bytes,
                                std::string& error) const {
  const std::vector<std::string> listed = listPictures();
  if (std::find(listed.begin(), listed.end(), name) == listed.end()) {
    error = "There is no picture of that name in the folder.";
    return false;
  }
  // No symbolic link is followed, even one swapped in since the listing.
  const int file = ::openat(folder_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  struct stat info {};
  if (file < 0 || ::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (file >= 0) {
      ::close(file);
    }
    error = "The picture \"" + name + "\" could not be opened.";
    return false;
  }
  if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
    ::close(file);
    error = "The picture \"" + name + "\" is larger than the studio accepts.";
    return false;
  }
  bytes.assign(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(file, &bytes[done], bytes.size() - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  ::close(file);
  bytes.resize(done);
  return true;
}

bool PictureFolder::save(const std::string& name, const std::string& bytes,
                         std::string& error) const {
  if (folder_ < 0 || !isPlainFileName(name)) {
    error = "That name cannot be saved in the folder.";
    return false;
  }
  // Keep the permissions of the file being replaced.
  mode_t mode = 0666;
  struct stat existing {};
  if (::fstatat(folder_, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      error = "\"" + name + "\" is a folder inside the folder; nothing was saved.";
      return false;
    }
    if (S_ISREG(existing.st_mode)) {
      mode = existing.st_mode & 07777;
    }
  }
  std::string temporary;
  int file = -1;
  for (int attempt = 0; attempt < 16 && file < 0; ++attempt) {
    temporary = temporaryNameFor(name);
    file = ::openat(folder_, temporary.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (file < 0 && errno != EEXIST) {
      break;
    }
  }
  if (file < 0) {
    error = "Could not write in the folder: " + std::string(std::strerror(errno)) + ".";
    return false;
  }
  const bool written = writeAll(file, bytes) && ::fsync(file) == 0;
  const bool closed = ::close(file) == 0;
  if (!written || !closed || ::renameat(folder_, temporary.c_str(), folder_, name.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlinkat(folder_, temporary.c_str(), 0);
    error = "Could not save \"" + name + "\": " + reason + "; the folder is unchanged.";
    return false;
  }
  return true;
}
