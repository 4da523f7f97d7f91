// The least a batch conversion can cost: for each picture named on the
// command line, read the file whole with stdio, then write a file exactly as
// large as the voice file tonepix writes for it with default options, next to
// it with the extension ".flr". Nothing is computed but that size. Both streams
// are unbuffered, so the picture comes in with one read call (and one more that
// finds its end) and the file goes out with one write call.
//
// With --safe as the first argument it keeps tonepix's replacement contract:
// the bytes go to a new hidden temporary file in the same folder, which is
// then renamed over the destination.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kMaxPicture = 16384;      // 54 + 1024 + 128 * 64 fits
constexpr std::size_t kMaxVoice = 131621 + 64;  // 128 envelopes of 128 points, longest name
unsigned char picture[kMaxPicture];
unsigned char voice[kMaxVoice];

// Voice file size for default options: version, name and its 0 byte, header,
// base frequency, 128 envelopes of (rows + 2, at most 128) points, aux count.
long voiceBytes(const char* path, long rows) {
  const char* base = std::strrchr(path, '/');
  base = base != nullptr ? base + 1 : path;
  const char* dot = std::strrchr(base, '.');
  long nameLength = dot != nullptr ? dot - base : static_cast<long>(std::strlen(base));
  if (nameLength > 64) {
    nameLength = 64;
  }
  const long points = rows + 2 < 128 ? rows + 2 : 128;
  return 4 + nameLength + 1 + 24 + 4 + 128 * (4 + 8 * points) + 4;
}

}  // namespace

int main(int argc, char** argv) {
  // Real pages with real bytes, as a writer's buffer has; filled once, so no
  // per-file work is charged to the floor.
  std::memset(voice, 0x5A, sizeof voice);
  int failures = 0;
  char outPath[4096];
  char temporaryPath[4096 + 16];
  const bool safe = argc > 1 && std::strcmp(argv[1], "--safe") == 0;
  for (int i = safe ? 2 : 1; i < argc; ++i) {
    const char* path = argv[i];
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) {
      std::fprintf(stderr, "io_floor: cannot read %s\n", path);
      ++failures;
      continue;
    }
    std::setvbuf(in, nullptr, _IONBF, 0);
    const std::size_t got = std::fread(picture, 1, sizeof picture, in);
    std::fclose(in);
    if (got < 26) {
      std::fprintf(stderr, "io_floor: %s is too short\n", path);
      ++failures;
      continue;
    }
    const long rows = static_cast<long>(picture[22]) | (static_cast<long>(picture[23]) << 8);

    const std::size_t pathLength = std::strlen(path);
    const char* dot = std::strrchr(path, '.');
    const std::size_t stem = dot != nullptr ? static_cast<std::size_t>(dot - path) : pathLength;
    if (stem + 5 > sizeof outPath) {
      ++failures;
      continue;
    }
    std::memcpy(outPath, path, stem);
    std::memcpy(outPath + stem, ".flr", 5);
    const auto size = static_cast<std::size_t>(voiceBytes(path, rows));
    if (safe) {
      const char* slash = std::strrchr(outPath, '/');
      const std::size_t folder =
          slash != nullptr ? static_cast<std::size_t>(slash - outPath) + 1 : 0;
      std::snprintf(temporaryPath, sizeof temporaryPath, "%.*s.%s.XXXXXX", static_cast<int>(folder),
                    outPath, outPath + folder);
      const int fd = mkstemp(temporaryPath);
      const bool written = fd >= 0 && write(fd, voice, size) == static_cast<ssize_t>(size);
      if (fd < 0 || close(fd) != 0 || !written || std::rename(temporaryPath, outPath) != 0) {
        std::fprintf(stderr, "io_floor: cannot write %s\n", outPath);
        ++failures;
      }
      continue;
    }
    std::FILE* out = std::fopen(outPath, "wb");
    if (out == nullptr) {
      std::fprintf(stderr, "io_floor: cannot write %s\n", outPath);
      ++failures;
      continue;
    }
    std::setvbuf(out, nullptr, _IONBF, 0);
    const bool written = std::fwrite(voice, 1, size, out) == size;
    if (std::fclose(out) != 0 || !written) {
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
