#include "test_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bitmap_writer.h"
#include "cli/converter.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tonepix-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    std::abort();
  }
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

namespace {
std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
}  // namespace

RunResult runTonepix(const std::vector<std::string>& args, const std::string& cwd) {
  const std::string outPath = cwd + "/.stdout";
  const std::string errPath = cwd + "/.stderr";
  std::string command = "cd " + shellQuote(cwd) + " && " + shellQuote(TONEPIX_BINARY);
  for (const std::string& arg : args) {
    command += " " + shellQuote(arg);
  }
  command += " >" + shellQuote(outPath) + " 2>" + shellQuote(errPath) + " </dev/null";
  const int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFileBytes(outPath);
  result.err = readFileBytes(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

std::string readFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool fileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

std::vector<std::uint8_t> uniformPixels(int height, std::uint8_t value) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(64 * height), value);
}

void writePicture(const std::string& path, int height, const std::vector<std::uint8_t>& pixels) {
  if (!writeFileBytes(path, makeBitmap(64, height, pixels))) {
    std::abort();
  }
}

std::uint32_t u32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value =
        (value << 8) | static_cast<unsigned char>(bytes.at(offset + static_cast<std::size_t>(i)));
  }
  return value;
}

float f32At(const std::string& bytes, std::size_t offset) {
  const std::uint32_t bits = u32At(bytes, offset);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::uint32_t bitsOf(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

LogCapture::LogCapture(Converter& converter) : converter_(converter), file_(std::tmpfile()) {
  if (file_ == nullptr) {
    std::abort();
  }
  converter_.log = file_;
}

LogCapture::~LogCapture() {
  converter_.log = stderr;
  std::fclose(file_);
}

std::string LogCapture::take() {
  std::fflush(file_);
  std::rewind(file_);
  std::string text;
  int c = 0;
  while ((c = std::fgetc(file_)) != EOF) {
    text += static_cast<char>(c);
  }
  std::fclose(file_);
  file_ = std::tmpfile();
  converter_.log = file_;
  return text;
}
