#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "cli/converter.h"
#include "image/bitmap_format.h"
#include "image/bitmap_naming.h"

namespace {

constexpr std::size_t kHeaderRestBytes = kBitmapHeaderBytes - 2;  // after the two magic bytes
constexpr int kRequiredWidth = kPictureWidth;
// 1/255 as a single-precision constant; pixels are multiplied by it.
constexpr float kPixelScale = 1.0f / 255.0f;

// Reads up to `size` bytes; whatever the file does not deliver reads as 0.
void readOrZero(std::FILE* file, unsigned char* buffer, std::size_t size) {
  const std::size_t got = std::fread(buffer, 1, size, file);
  std::memset(buffer + got, 0, size - got);
}

std::int32_t int32At(const unsigned char* bytes) {
  const std::uint32_t value =
      static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
      (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(value);
}

// Opens a picture for reading without ever waiting: a FIFO with no writer, a
// socket or a device is refused (null) instead of blocking the run or being
// read from. Folders still open, so that they keep their "not a bitmap" answer.
std::FILE* openPicture(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    ::close(fd);
  }
  return file;
}

}  // namespace

int Converter::loadBitmap(const char* argument) {
  if (!hasBitmapName(argument)) {
    std::fprintf(log, "Found \"%s\" in place of .bmp file: Skipping...\n", argument);
    return kSkipNotBmpName;
  }
  const std::size_t argumentLength = std::strlen(argument);
  if (argumentLength > static_cast<std::size_t>(kMaxPathLength)) {
    std::fprintf(log, "Input file: \"%s\", Path too long! Cannot support more than %d characters\n",
                 argument, kMaxPathLength);
    return kSkipPathTooLong;
  }
  std::memcpy(inputPath, argument, argumentLength + 1);
  deriveOutputPath(inputPath, outputPath, sizeof outputPath);
  deriveVoiceName(inputPath, voiceName, sizeof voiceName);

  const bool verbose = verbosity != 0;
  // Every message of this file ends up as one line: the prefix, then either
  // the dimensions and "Loaded." or a single reason.
  auto refuse = [](std::FILE* opened, int code) {
    std::fclose(opened);
    return code;
  };
  auto prefixWhenQuiet = [&]() {
    if (!verbose) {
      std::fprintf(log, "Input file: \"%s\"", inputPath);
    }
  };

  if (verbose) {
    std::fprintf(log, "Input file: \"%s\"", inputPath);
  }
  // Room for everything the loader reads, so that a picture comes in with one
  // read call.
  char readBuffer[16384];
  std::FILE* file = openPicture(inputPath);
  if (file == nullptr) {
    prefixWhenQuiet();
    std::fprintf(log, ", Could not open! Skipping...\n");
    return kSkipCannotOpen;
  }
  std::setvbuf(file, readBuffer, _IOFBF, sizeof readBuffer);

  unsigned char magic[2];
  readOrZero(file, magic, sizeof magic);
  if (magic[0] != 'B' || magic[1] != 'M') {
    prefixWhenQuiet();
    std::fprintf(log, ", Doesn't look like a bitmap file! Skipping...\n");
    return refuse(file, kSkipNotBitmap);
  }

  unsigned char header[kHeaderRestBytes];
  readOrZero(file, header, sizeof header);
  const std::int32_t width = int32At(header + (kWidthOffset - 2));
  const std::int32_t height = int32At(header + (kHeightOffset - 2));
  if (verbose) {
    std::fprintf(log, ", Dimensions: %dx%d", width, height);
  }
  if (width != kRequiredWidth) {
    prefixWhenQuiet();
    std::fprintf(log, ", Must be 64 pixels wide! Cannot support %d harmonics\n", width);
    return refuse(file, kSkipWidth);
  }
  pointCount = height;
  // An empty or top-down picture has no rows to convert; accepting it would
  // build a voice out of an earlier picture's rows.
  if (height < 1) {
    prefixWhenQuiet();
    std::fprintf(log, ", Too short! Cannot support %d envelope points (%d min)\n", height, 1);
    return refuse(file, kSkipHeight);
  }
  if (height > kMaxPictureRows) {
    prefixWhenQuiet();
    std::fprintf(log, ", Too long! Cannot support %d envelope points (%d max)\n", height,
                 kMaxPictureRows);
    return refuse(file, kSkipHeight);
  }
  if (plateauPercent != 0 && height > kMaxPlateauPictureRows) {
    prefixWhenQuiet();
    std::fprintf(log, ", Too long for plateau mode! Cannot support %d envelope points (%d max)\n",
                 height, kMaxPlateauPictureRows);
    return refuse(file, kSkipHeight);
  }

  unsigned char colourTable[kColourTableBytes];
  readOrZero(file, colourTable, sizeof colourTable);
  unsigned char pixels[kMaxPoints][kMaxHarmonics];
  readOrZero(file, &pixels[0][0], static_cast<std::size_t>(height) * kMaxHarmonics);
  std::fclose(file);

  const double scale = static_cast<double>(kPixelScale);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < kMaxHarmonics; ++c) {
      amplitude[r][c] = static_cast<float>(static_cast<double>(pixels[r][c]) * scale);
    }
  }
  if (verbose) {
    std::fprintf(log, ", Loaded.\n");
  }
  if (height == 1) {
    // A one-row picture's loop point is row 1, which it does not load: it
    // reads as a fresh run holds it, never as an earlier picture left it.
    std::memset(amplitude[1], 0, sizeof amplitude[1]);
    std::memset(ratio[1], 0, sizeof ratio[1]);
  }
  loopStart = 0.0f;
  loopEnd = 0.0f;
  ratio[0][0] = kRatiosPending;
  return 0;
}
