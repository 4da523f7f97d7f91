#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// What one run of the tonepix binary did.
struct RunResult {
  int status;  // the exit status as the shell sees it (0..255)
  std::string out;
  std::string err;
};

// Runs the built tonepix with `args` (each passed as one argument) in the
// folder `cwd`.
RunResult runTonepix(const std::vector<std::string>& args, const std::string& cwd);

std::string readFileBytes(const std::string& path);
bool fileExists(const std::string& path);

// A 64-wide picture of `height` rows whose every pixel is `value`.
std::vector<std::uint8_t> uniformPixels(int height, std::uint8_t value);

// Writes a valid 64-wide greyscale picture into `path`.
void writePicture(const std::string& path, int height, const std::vector<std::uint8_t>& pixels);

// Little-endian field readers for voice file bytes.
std::uint32_t u32At(const std::string& bytes, std::size_t offset);
float f32At(const std::string& bytes, std::size_t offset);
std::uint32_t bitsOf(float value);

class Converter;

// Points a Converter's log at a temporary file for the object's lifetime, so
// that tests can read exactly what a stage wrote.
class LogCapture {
 public:
  explicit LogCapture(Converter& converter);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  // Everything written since the last call.
  std::string take();

 private:
  Converter& converter_;
  std::FILE* file_;
};
