#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder, removed with its contents when the object goes away.
class TempDir {
 public:
  // A new folder under `parent`, or under the system's temporary folder.
  explicit TempDir(const std::string& parent = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct RunResult {
  int status;  // as the shell sees it, 0..255
  std::string out;
  std::string err;
};

// Runs the built tonepix with `args` in the folder `cwd`.
RunResult runTonepix(const std::vector<std::string>& args, const std::string& cwd);

std::string readFileBytes(const std::string& path);
// A valid 64-wide picture of `height` rows, every pixel `value`.
void writePicture(const std::string& path, int height, std::uint8_t value);
