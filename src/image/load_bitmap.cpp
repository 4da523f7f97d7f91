#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/converter.h"
#include "image/bitmap_format.h"
#include "image/bitmap_naming.h"

namespace {

constexpr int kRequiredWidth = kPictureWidth;
// 1/255 as a single-precision constant; pixels are multiplied by it.
constexpr float kPixelScale = 1.0f / 255.0f;

// Everything the loader can use: the header, the colour table and as many
// pixel rows as the store holds.
constexpr std::size_t kUsableBytes =
    kPixelDataOffset + static_cast<std::size_t>(kMaxPictureRows) * kMaxHarmonics;

// Reads a picture's usable bytes in one call, without ever waiting: a FIFO
// with no writer, a socket or a device is refused (false) instead of blocking
// the run or being read from. Folders still open, and read as no bytes, so
// that they keep their "not a bitmap" answer. `got` is how many bytes came.
bool readPicture(const char* path, unsigned char* bytes, std::size_t& got) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
    ::close(fd);
    return false;
  }
  std::size_t wanted = kUsableBytes;
  if (S_ISREG(info.st_mode) && info.st_size >= 0 &&
      static_cast<std::size_t>(info.st_size) < wanted) {
    wanted = static_cast<std::size_t>(info.st_size);
  }
  got = 0;
  while (got < wanted) {
    const ssize_t count = ::read(fd, bytes + got, wanted - got);
    if (count > 0) {
      got += static_cast<std::size_t>(count);
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fd);
  return true;
}

}  // namespace

int Converter::nameInput(const char* argument) {
  if (!hasBitmapName(argument)) {
    say(log, "Found \"%s\" in place of .bmp file: Skipping...\n", argument);
    return kSkipNotBmpName;
  }
  const std::size_t argumentLength = std::strlen(argument);
  if (argumentLength > static_cast<std::size_t>(kMaxPathLength)) {
    say(log, "Input file: \"%s\", Path too long! Cannot support more than %d characters\n",
        argument, kMaxPathLength);
    return kSkipPathTooLong;
  }
  std::memcpy(inputPath, argument, argumentLength + 1);
  deriveOutputPath(inputPath, outputPath, sizeof outputPath);
  deriveVoiceName(inputPath, voiceName, sizeof voiceName);
  return 0;
}

int Converter::loadBitmap(const char* argument) {
  const int named = nameInput(argument);
  if (named != 0) {
    return named;
  }
  // The whole picture comes in with one read call; the file is closed before
  // any of it is examined.
  unsigned char bytes[kUsableBytes];
  std::size_t got = 0;
  if (!readPicture(inputPath, bytes, got)) {
    say(log, "Input file: \"%s\", Could not open! Skipping...\n", inputPath);
    return kSkipCannotOpen;
  }
  return loadBitmapBytes(bytes, got);
}

int Converter::loadBitmapBytes(const unsigned char* bytes, std::size_t size) {
  const bool verbose = verbosity != 0;
  // Every message of this file ends up as one line: the prefix, then either
  // the dimensions and "Loaded." or a single reason.
  auto prefixWhenQuiet = [&]() {
    if (!verbose) {
      say(log, "Input file: \"%s\"", inputPath);
    }
  };

  if (verbose) {
    say(log, "Input file: \"%s\"", inputPath);
  }
  // Whatever the bytes lack reads as 0, as from a file that ends early.
  if (size < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
    prefixWhenQuiet();
    say(log, ", Doesn't look like a bitmap file! Skipping...\n");
    return kSkipNotBitmap;
  }
  const auto width = static_cast<std::int32_t>(readLittleEndian(bytes, size, kWidthOffset, 4));
  const auto height = static_cast<std::int32_t>(readLittleEndian(bytes, size, kHeightOffset, 4));
  if (verbose) {
    say(log, ", Dimensions: %dx%d", width, height);
  }
  if (width != kRequiredWidth) {
    prefixWhenQuiet();
    say(log, ", Must be 64 pixels wide! Cannot support %d harmonics\n", width);
    return kSkipWidth;
  }
  pointCount = height;
  // An empty or top-down picture has no rows to convert; accepting it would
  // build a voice out of an earlier picture's rows.
  if (height < 1) {
    prefixWhenQuiet();
    say(log, ", Too short! Cannot support %d envelope points (%d min)\n", height, 1);
    return kSkipHeight;
  }
  if (height > kMaxPictureRows) {
    prefixWhenQuiet();
    say(log, ", Too long! Cannot support %d envelope points (%d max)\n", height, kMaxPictureRows);
    return kSkipHeight;
  }
  if (plateauPercent != 0 && height > kMaxPlateauPictureRows) {
    prefixWhenQuiet();
    say(log, ", Too long for plateau mode! Cannot support %d envelope points (%d max)\n", height,
        kMaxPlateauPictureRows);
    return kSkipHeight;
  }

  // Pixel bytes follow the colour table whatever the header says; each is a
  // level in its own right, not a colour table index. Cells the bytes end
  // before read as 0.
  // A level (8 bits) times the scale (24 significant bits) is exact in
  // double, so rounding that product to float gives the float product: one
  // rounding either way. In float the compiler converts a vector of pixels
  // at a time.
  const std::size_t available = size > kPixelDataOffset ? size - kPixelDataOffset : 0;
  for (int r = 0; r < height; ++r) {
    const std::size_t rowStart = static_cast<std::size_t>(r) * kMaxHarmonics;
    float* cells = amplitude[r];
    if (rowStart + kMaxHarmonics <= available) {
      const unsigned char* row = bytes + kPixelDataOffset + rowStart;
      for (int c = 0; c < kMaxHarmonics; ++c) {
        cells[c] = static_cast<float>(row[c]) * kPixelScale;
      }
    } else {
      for (int c = 0; c < kMaxHarmonics; ++c) {
        const std::size_t at = rowStart + static_cast<std::size_t>(c);
        const unsigned char level = at < available ? bytes[kPixelDataOffset + at] : 0;
        cells[c] = static_cast<float>(level) * kPixelScale;
      }
    }
  }
  if (verbose) {
    say(log, ", Loaded.\n");
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
