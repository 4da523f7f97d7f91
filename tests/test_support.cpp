#include "test_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bitmap_writer.h"

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& parent) {
  std::string pattern =
      ((parent.empty() ? fs::temp_directory_path() : fs::path(parent)) / "tonepix-test-XXXXXX")
          .string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

namespace {
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}
}  // namespace

RunResult runTonepix(const std::vector<std::string>& args, const std::string& cwd) {
  const std::string out = cwd + "/.stdout";
  const std::string err = cwd + "/.stderr";
  std::string command = "cd " + quoted(cwd) + " && " + quoted(TONEPIX_BINARY);
  for (const std::string& arg : args) {
    command += " " + quoted(arg);
  }
  command += " >" + quoted(out) + " 2>" + quoted(err) + " </dev/null";
  const int raw = std::system(command.c_str());
  RunResult result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFileBytes(out), readFileBytes(err)};
  fs::remove(out);
  fs::remove(err);
  return result;
}

std::string readFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void writePicture(const std::string& path, int height, std::uint8_t value) {
  const std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * height), value);
  if (!writeFileBytes(path, makeBitmap(64, height, pixels))) {
    std::abort();
  }
}
