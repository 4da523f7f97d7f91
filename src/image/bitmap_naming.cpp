#include "image/bitmap_naming.h"

#include <cstring>

namespace {

void copyText(const char* text, char* out, std::size_t capacity) {
  if (capacity == 0) {
    return;
  }
  std::strncpy(out, text, capacity - 1);
  out[capacity - 1] = '\0';
}

void replaceExtension(char* path, const char* from, const char* to) {
  char* found = std::strstr(path, from);
  if (found != nullptr) {
    std::memcpy(found, to, 4);
    found[4] = '\0';  // anything after the extension is dropped
  }
}

}  // namespace

bool hasBitmapName(const char* argument) {
  return std::strstr(argument, ".bmp") != nullptr || std::strstr(argument, ".BMP") != nullptr;
}

void deriveOutputPath(const char* inputPath, char* output, std::size_t capacity) {
  copyText(inputPath, output, capacity);
  replaceExtension(output, ".bmp", ".hvx");
  replaceExtension(output, ".BMP", ".HVX");
}

void deriveVoiceName(const char* inputPath, char* name, std::size_t capacity) {
  const char* base = inputPath;
  if (const char* backslash = std::strrchr(inputPath, '\\')) {
    base = backslash + 1;
  }
  if (const char* slash = std::strrchr(inputPath, '/')) {
    base = slash + 1;
  }
  copyText(base, name, capacity);
  if (char* stop = std::strrchr(name, '.')) {
    *stop = '\0';
  }
}
