#include "hvx/studio/studio_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "hvx/files/safe_write.h"

namespace {

// Extensions of the formats the picture decoder and the sound reader read.
bool endsWithAny(const std::string& name, const char* const* extensions, std::size_t count) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t length = std::strlen(extensions[i]);
    if (lower.size() > length && lower.compare(lower.size() - length, length, extensions[i]) == 0) {
      return true;
    }
  }
  return false;
}

// Files the studio opens: pictures, sounds and voices.
bool hasOpenedExtension(const std::string& name) {
  static const char* const kExtensions[] = {
      ".bmp", ".png", ".jpg", ".jpeg", ".gif", ".tga",  ".psd", ".pgm", ".ppm", ".pnm",
      ".hdr", ".pic", ".wav", ".flac", ".aif", ".aiff", ".ogg", ".oga", ".hvx"};
  return endsWithAny(name, kExtensions, sizeof kExtensions / sizeof kExtensions[0]);
}

// Two names for one file (a hard link), or one name twice.
bool sameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool hasVoiceExtension(const std::string& name) {
  static const char* const kVoice[] = {".hvx"};
  return endsWithAny(name, kVoice, 1);
}

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
    if (!isPlainFileName(name) || !hasOpenedExtension(name) ||
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
    error = "The picture \"" + name + "\" is larger than the studio accepts (" +
            std::to_string(maxBytes >> 20) + " MiB).";
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

PictureFolder::SaveOutcome PictureFolder::save(const std::string& name, const std::string& bytes,
                                               bool replace, const std::string& sourceName,
                                               bool sourceIsVoice, std::string& message) const {
  if (folder_ < 0 || !isPlainFileName(name)) {
    message = "That name cannot be saved in the folder.";
    return SaveOutcome::Refused;
  }
  std::lock_guard<std::mutex> hold(saveLock_);
  struct stat existing {};
  if (::fstatat(folder_, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    struct stat source {};
    if (name == sourceName ||
        (!sourceName.empty() &&
         ::fstatat(folder_, sourceName.c_str(), &source, AT_SYMLINK_NOFOLLOW) == 0 &&
         sameEntry(existing, source))) {
      if (!sourceIsVoice) {
        message = "\"" + name + "\" is the file it was made from; it is never replaced.";
        return SaveOutcome::Refused;
      }
      if (!replace) {
        message = "\"" + name + "\" is the voice you opened.";
        return SaveOutcome::Exists;
      }
    }
    if (S_ISLNK(existing.st_mode)) {
      // Writing through it could reach outside the folder.
      message =
          "\"" + name + "\" in the folder is a link; the studio writes no file through a link.";
      return SaveOutcome::Refused;
    }
    if (!S_ISREG(existing.st_mode)) {
      message = "\"" + name + "\" in the folder is not a plain file; nothing was saved.";
      return SaveOutcome::Refused;
    }
    if (!replace) {
      message = "\"" + name + "\" already exists in the folder.";
      return SaveOutcome::Exists;
    }
  }
  // The folder through the handle taken at start, not through its name,
  // which may lead elsewhere by now.
  const std::string path = "/proc/self/fd/" + std::to_string(folder_) + "/" + name;
  std::string reason;
  if (!writeFileSafely(path, bytes, reason)) {
    message = "Could not save \"" + name + "\": it " + reason + "; the folder is unchanged.";
    return SaveOutcome::Failed;
  }
  message.clear();
  return SaveOutcome::Saved;
}
