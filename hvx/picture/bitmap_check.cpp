#include "hvx/picture/bitmap_check.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "image/bitmap_format.h"
#include "image/bitmap_header.h"

namespace {

constexpr std::uint32_t kGreyBits = 8;
constexpr int kPaletteSize = 256;

// Header bytes as tonepix sees them: whatever the file lacks reads as zero.
std::uint32_t fieldAt(const std::string& bytes, std::size_t offset, std::size_t width) {
  return readLittleEndian(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                          offset, width);
}

std::string compressionName(std::uint32_t compression) {
  switch (compression) {
    case 0:
      return "uncompressed";
    case 1:
      return "RLE8 compressed";
    case 2:
      return "RLE4 compressed";
    case 3:
      return "bit-field pixels";
    case 4:
      return "JPEG inside";
    case 5:
      return "PNG inside";
    case 6:
      return "alpha bit-field pixels";
    default:
      return "compression " + std::to_string(compression);
  }
}

// Which pixel bytes occur in the rows tonepix reads; all when none are there.
std::array<bool, kPaletteSize> usedLevels(const std::string& bytes, std::size_t rows) {
  std::array<bool, kPaletteSize> used{};
  const std::size_t end = std::min(bytes.size(), kPixelDataOffset + rows * kPictureWidth);
  bool any = false;
  for (std::size_t at = kPixelDataOffset; at < end; ++at) {
    used[static_cast<unsigned char>(bytes[at])] = true;
    any = true;
  }
  if (!any) {
    used.fill(true);
  }
  return used;
}

// Compares the palette with the identity grey palette over the levels the
// pixels use. A used level without a palette entry counts as fully off.
void measurePalette(const std::string& bytes, BitmapReport& report) {
  const std::size_t entryBytes = report.headerSize == kCoreHeaderBytes ? 3 : 4;
  const std::size_t paletteAt = kFileHeaderBytes + report.headerSize;
  const std::size_t colourCount =
      report.headerSize >= kInfoHeaderBytes ? fieldAt(bytes, kColoursUsedOffset, 4) : 0;
  std::size_t entries = colourCount == 0 || colourCount > kPaletteSize ? kPaletteSize : colourCount;
  const std::size_t paletteEnd = std::min<std::size_t>(report.pixelOffset, bytes.size());
  entries = paletteEnd > paletteAt ? std::min(entries, (paletteEnd - paletteAt) / entryBytes) : 0;
  report.paletteEntries = static_cast<int>(entries);

  const std::array<bool, kPaletteSize> used =
      usedLevels(bytes, static_cast<std::size_t>(std::max(report.height, 0)));
  for (int level = 0; level < kPaletteSize; ++level) {
    if (!used[static_cast<std::size_t>(level)]) {
      continue;
    }
    int deviation = kPaletteSize - 1;
    if (static_cast<std::size_t>(level) < entries) {
      const std::size_t at = paletteAt + static_cast<std::size_t>(level) * entryBytes;
      deviation = 0;
      for (std::size_t channel = 0; channel < 3; ++channel) {
        deviation = std::max(deviation,
                             std::abs(static_cast<int>(fieldAt(bytes, at + channel, 1)) - level));
      }
    }
    if (deviation > report.paletteDeviation) {
      report.paletteDeviation = deviation;
      report.deviantEntry = level;
    }
  }
}

void skip(BitmapReport& report, const std::string& reason) {
  report.verdict = BitmapReport::Verdict::Skipped;
  report.reasons.push_back(reason);
}

void misread(BitmapReport& report, const std::string& reason) {
  if (report.verdict == BitmapReport::Verdict::Ok) {
    report.verdict = BitmapReport::Verdict::Misread;
  }
  report.reasons.push_back(reason);
}

}  // namespace

BitmapReport checkBitmap(const std::string& bytes, bool plateau) {
  BitmapReport report;
  const BitmapHeader header =
      readBitmapHeader(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  report.isBitmap = header.signature;
  if (!report.isBitmap) {
    skip(report, "not a bitmap (it does not start with \"BM\")");
    return report;
  }
  // tonepix reads width and height where the 40-byte header keeps them,
  // whatever header the file has.
  report.width = static_cast<std::int32_t>(fieldAt(bytes, kWidthOffset, 4));
  report.height = static_cast<std::int32_t>(fieldAt(bytes, kHeightOffset, 4));
  report.headerSize = header.headerSize;
  report.pixelOffset = header.pixelOffset;
  const bool core = header.core;
  report.bitsPerPixel = header.bitsPerPixel;
  report.compression = header.compression;
  const std::int64_t rows = std::abs(static_cast<std::int64_t>(report.height));
  report.fitsPlateau = rows >= 1 && rows <= kMaxHeardPlateauRows;
  const bool rowsTaken =
      report.width == kPictureWidth && report.height >= 1 && report.height <= kMaxPictureRows;
  if (report.bitsPerPixel <= static_cast<int>(kGreyBits)) {
    measurePalette(bytes, report);
  }
  const std::size_t needed =
      kPixelDataOffset + static_cast<std::size_t>(rowsTaken ? report.height : 0) * kPictureWidth;
  report.missingBytes = bytes.size() < needed ? needed - bytes.size() : 0;

  // What makes tonepix skip the file, in the order it looks.
  if (core) {
    skip(report, "a 12-byte header keeps width and height where tonepix does not look");
    return report;
  }
  if (report.width != kPictureWidth) {
    skip(report, std::to_string(report.width) + " pixels wide, tonepix takes only 64");
  } else if (report.height < 0) {
    skip(report, "top-down rows (negative height), which tonepix does not take");
  } else if (report.height == 0) {
    skip(report, "no rows");
  } else if (report.height > kMaxPictureRows) {
    skip(report, std::to_string(report.height) + " rows, tonepix takes at most " +
                     std::to_string(kMaxPictureRows));
  } else if (plateau && report.height > kMaxPlateauPictureRows) {
    skip(report, std::to_string(report.height) + " rows, tonepix -p takes at most " +
                     std::to_string(kMaxPlateauPictureRows));
  }
  if (report.verdict == BitmapReport::Verdict::Skipped) {
    return report;
  }

  // What makes it read something other than the picture as drawn.
  if (report.bitsPerPixel != static_cast<int>(kGreyBits)) {
    misread(report, std::to_string(report.bitsPerPixel) +
                        " bits per pixel, tonepix takes every byte as one grey level");
  }
  if (report.compression != 0) {
    misread(report, compressionName(report.compression) + ", tonepix reads the bytes as pixels");
  }
  if (report.pixelOffset != kPixelDataOffset) {
    misread(report, "pixel data at byte " + std::to_string(report.pixelOffset) +
                        ", tonepix reads from byte 1078");
  }
  if (report.headerSize < kInfoHeaderBytes) {
    misread(report, "an unknown " + std::to_string(report.headerSize) + "-byte header");
  }
  if (report.paletteDeviation > 0) {
    const std::string level = std::to_string(report.deviantEntry);
    if (report.deviantEntry >= report.paletteEntries) {
      misread(report, "pixel byte " + level + " has no palette entry (the palette has " +
                          std::to_string(report.paletteEntries) +
                          "), tonepix takes it as grey level " + level);
    } else {
      misread(report, "palette entry " + level + " is off grey level " + level + " by " +
                          std::to_string(report.paletteDeviation) +
                          ", tonepix takes the pixel byte as the grey level");
    }
  }
  if (report.missingBytes > 0) {
    misread(report, "the file ends " + std::to_string(report.missingBytes) +
                        " bytes early, tonepix reads the missing pixels as silence");
  }
  const int heard = plateau ? kMaxHeardPlateauRows : kMaxHeardRows;
  if (report.height > heard) {
    report.firstUnheardRow = heard + 1;
    const std::string first = std::to_string(heard + 1);
    const std::string last = std::to_string(report.height);
    const std::string unheard = report.height == heard + 1 ? "row " + first + " is"
                                : report.height == heard + 2
                                    ? "rows " + first + " and " + last + " are"
                                    : "rows " + first + " to " + last + " are";
    const std::string reason = unheard + " not heard: tonepix" + (plateau ? " -p" : "") +
                               " keeps " + std::to_string(heard) +
                               " rows and puts its loop and release points in the last places";
    if (report.verdict == BitmapReport::Verdict::Ok) {
      report.verdict = BitmapReport::Verdict::Unheard;
    }
    report.reasons.push_back(reason);
  }
  return report;
}

std::string describeBitmap(const BitmapReport& report) {
  if (!report.isBitmap) {
    return "not a bitmap";
  }
  std::string text = std::to_string(report.width) + " x " +
                     std::to_string(std::abs(static_cast<std::int64_t>(report.height)));
  text += ", " + std::to_string(report.bitsPerPixel) + " bits per pixel";
  text += ", " + compressionName(report.compression);
  text += ", " + std::to_string(report.headerSize) + "-byte header";
  text += ", pixel data at " + std::to_string(report.pixelOffset);
  if (report.paletteEntries == 0) {
    text += ", no palette";
  } else if (report.paletteDeviation == 0) {
    text += ", grey palette";
  } else {
    text += ", palette off grey by up to " + std::to_string(report.paletteDeviation);
  }
  text += report.height < 0 ? ", top-down rows" : ", bottom-up rows";
  if (report.missingBytes > 0) {
    text += ", " + std::to_string(report.missingBytes) + " bytes missing";
  } else {
    text += ", complete";
  }
  text += report.fitsPlateau ? ", fits plateau mode" : ", too tall for plateau mode";
  return text;
}
