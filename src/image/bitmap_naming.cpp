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

void replaceExtension(char* fileName, const char* from, const char* to) {
  char* found = std::strstr(fileName, from);
  if (found != nullptr) {
    std::memcpy(found, to, 4);
    found[4] = '\0';  // anything after the extension is dropped
  }
}

// The text after the last forward slash: folders never take part in the name
// test or the extension swap, so a folder named like a picture cannot send the
// voice file outside it or onto the picture itself.
const char* fileNameOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}
char* fileNameOf(char* path) {
  char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

bool hasBitmapName(const char* argument) {
  const char* name = fileNameOf(argument);
  return std::strstr(name, ".bmp") != nullptr || std::strstr(name, ".BMP") != nullptr;
}

void deriveOutputPath(const char* inputPath, char* output, std::size_t capacity) {
  copyText(inputPath, output, capacity);
  char* name = fileNameOf(output);
  replaceExtension(name, ".bmp", ".hvx");
  replaceExtension(name, ".BMP", ".HVX");
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
