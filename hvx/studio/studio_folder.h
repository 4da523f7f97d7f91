#pragma once

#include <cstddef>
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

  // Picture files directly inside the folder, sorted: regular files only, no
  // dot files, with an extension the picture decoder knows.
  std::vector<std::string> listPictures() const;

  // Reads `name`, which must be in the current listing, up to `maxBytes`.
  bool readPicture(const std::string& name, std::size_t maxBytes, std::string& bytes,
                   std::string& error) const;

  // Writes `bytes` as `name` inside the folder: a temporary file beside it,
  // then a rename, so an existing file is either kept whole or replaced
  // whole. `name` must be a plain file name (no separator, no leading dot).
  bool save(const std::string& name, const std::string& bytes, std::string& error) const;

 private:
  int folder_ = -1;
  std::string path_;
};

// True for a name that can only mean a file directly inside a folder.
bool isPlainFileName(const std::string& name);
