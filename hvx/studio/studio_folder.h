#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// The one folder the studio may read pictures from and save voices into.
// Files are reached only by names from its own listing, relative to a handle
// on the folder taken at start, never through a path from the client.
class PictureFolder {
 public:
  PictureFolder() = default;
  ~PictureFolder();
  PictureFolder(const PictureFolder&) = delete;
  PictureFolder& operator=(const PictureFolder&) = delete;

  // Takes a handle on `path`. False, with a sentence in `error`, when it is
  // not a folder that can be opened.
  bool open(const std::string& path, std::string& error);
  bool isOpen() const { return folder_ >= 0; }
  // The folder as the user named it, for messages.
  const std::string& path() const { return path_; }

  // The files directly inside the folder the studio opens, sorted: regular
  // files only, no dot files, named as a picture, a sound or a voice.
  std::vector<std::string> listPictures() const;

  // Reads `name`, which must be in the current listing, up to `maxBytes`.
  bool readPicture(const std::string& name, std::size_t maxBytes, std::string& bytes,
                   std::string& error) const;

  // How a save went; the sentence in `message` says it to the user.
  enum class SaveOutcome { Saved, Exists, Refused, Failed };

  // Writes `bytes` as `name` inside the folder, the way hvx writes every
  // file (a temporary file beside it, renamed into place), so that an
  // existing file is kept whole or replaced whole. A file already there is
  // replaced only when `replace` says the user agreed (else Exists); never
  // `sourceName`, the file the bytes were made from, unless it is an opened
  // voice (`sourceIsVoice`) that the user agreed to replace by its edit; nor
  // a link, a folder or anything but a plain file. `name` must be a plain
  // file name.
  SaveOutcome save(const std::string& name, const std::string& bytes, bool replace,
                   const std::string& sourceName, bool sourceIsVoice, std::string& message) const;

 private:
  int folder_ = -1;
  std::string path_;
  mutable std::mutex saveLock_;  // one save at a time: the writer keeps its state in globals
};

// True for a name that can only mean a file directly inside a folder.
bool isPlainFileName(const std::string& name);

// True for a name ending in .hvx, in any case.
bool hasVoiceExtension(const std::string& name);
