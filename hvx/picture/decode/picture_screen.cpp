#include "hvx/picture/decode/picture_screen.h"

#include <stb_image.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>

#include "hvx/picture/decode/jpeg_markers.h"
#include "hvx/picture/decode/png_data.h"
#include "hvx/picture/decode/stb_reason.h"
#include "hvx/picture/picture_limits.h"
#include "image/bitmap_header.h"

namespace {

bool startsWith(const unsigned char* data, std::size_t size, const char* magic) {
  const std::size_t length = std::strlen(magic);
  return size >= length && std::memcmp(data, magic, length) == 0;
}

std::uint32_t bigEndian32(const unsigned char* bytes) {
  return (static_cast<std::uint32_t>(bytes[0]) << 24) |
         (static_cast<std::uint32_t>(bytes[1]) << 16) |
         (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

// A binary PNM's header, read by the image library's rules: magic, width,
// height and largest value, separated by white space and comments, then one
// white-space byte before the samples.
struct PnmHeader {
  std::int64_t width = 0, height = 0, levelMax = 0;
  int channels = 0;
  std::size_t dataAt = 0;
};

PnmHeader readPnmHeader(const unsigned char* data, std::size_t size) {
  PnmHeader header;
  header.channels = data[1] == '5' ? 1 : 3;
  std::size_t at = 2;
  auto atEnd = [&]() { return at >= size; };
  auto next = [&]() -> int { return atEnd() ? 0 : data[at++]; };
  int c = next();
  auto skipSpace = [&]() {
    for (;;) {
      while (!atEnd() && std::isspace(c) != 0) {
        c = next();
      }
      if (atEnd() || c != '#') {
        return;
      }
      while (!atEnd() && c != '\n' && c != '\r') {
        c = next();
      }
    }
  };
  // Values stop growing past any limit, so that a long run of digits cannot overflow.
  constexpr std::int64_t kCeiling = std::int64_t{1} << 40;
  auto number = [&]() {
    std::int64_t value = 0;
    while (!atEnd() && c >= '0' && c <= '9') {
      value = value < kCeiling ? value * 10 + (c - '0') : value;
      c = next();
    }
    return value;
  };
  skipSpace();
  header.width = number();
  skipSpace();
  header.height = number();
  skipSpace();
  header.levelMax = number();
  header.dataAt = at;
  return header;
}

bool fits(std::int64_t width, std::int64_t height, std::size_t maxPixels) {
  return width > 0 && height > 0 &&
         static_cast<std::uint64_t>(width) <=
             static_cast<std::uint64_t>(maxPixels) / static_cast<std::uint64_t>(height);
}

// Bytes an uncompressed bitmap needs; 0 when its data has no fixed size.
std::uint64_t bitmapBytesNeeded(const BitmapHeader& header) {
  if (!header.core && (header.compression == kRle8 || header.compression == kRle4)) {
    return 0;  // run-length data: its own expansion finds where it ends
  }
  const std::int64_t rows =
      header.height < 0 ? -static_cast<std::int64_t>(header.height) : header.height;
  return header.pixelOffset +
         bitmapRowBytes(header.width, header.bitsPerPixel) * static_cast<std::uint64_t>(rows);
}

std::uint32_t le16(const unsigned char* data, std::size_t size, std::size_t at) {
  return readLittleEndian(data, size, at, 2);
}

// True when a TGA's pixel data is all there: counted, or its run-length
// packets walked, up to the picture's last pixel.
bool tgaComplete(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kHeaderBytes = 18;
  constexpr unsigned kRunLengthTypes = 8;
  if (size < kHeaderBytes) {
    return false;
  }
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(le16(data, size, 12)) * le16(data, size, 14);
  const std::uint64_t pixelBytes = (data[16] + 7u) / 8u;
  std::uint64_t at = kHeaderBytes + data[0];
  if (data[1] == 1) {
    at += static_cast<std::uint64_t>(le16(data, size, 5)) * ((data[7] + 7u) / 8u);
  }
  if (data[2] < kRunLengthTypes) {
    return at + pixels * pixelBytes <= size;
  }
  for (std::uint64_t done = 0; done < pixels;) {
    if (at >= size) {
      return false;
    }
    const unsigned packet = data[at++];
    const std::uint64_t count = (packet & 0x7Fu) + 1u;
    at += (packet & 0x80u) != 0 ? pixelBytes : count * pixelBytes;
    done += count;
  }
  return at <= size;
}

// True when a GIF's blocks are all there up to the end of its first frame,
// the one hvx reads.
bool gifFirstFrameComplete(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kScreenEnd = 13;
  constexpr unsigned kColourTableFlag = 0x80;
  auto tableBytes = [](unsigned flags) {
    return (flags & kColourTableFlag) != 0 ? std::size_t{3} << ((flags & 7u) + 1u) : 0;
  };
  if (size < kScreenEnd) {
    return false;
  }
  std::size_t at = kScreenEnd + tableBytes(data[10]);
  auto skipSubBlocks = [&]() {
    while (at < size && data[at] != 0) {
      at += std::size_t{data[at]} + 1;
    }
    ++at;  // the terminating empty block
    return at <= size;
  };
  while (at < size) {
    const unsigned char block = data[at++];
    if (block == 0x21) {  // extension: label, then sub-blocks
      ++at;
      if (!skipSubBlocks()) {
        return false;
      }
    } else if (block == 0x2C) {  // image: descriptor, colour table, code size, data
      if (at + 9 > size) {
        return false;
      }
      at += 9 + tableBytes(data[at + 8]) + 1;
      return skipSubBlocks();
    } else {
      return true;  // the trailer or a damaged block: the library says which
    }
  }
  return false;
}

bool refuse(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

}  // namespace

bool screenPicture(const unsigned char* data, std::size_t size, std::size_t maxPixels,
                   PictureScreen& out, std::string& error) {
  out = PictureScreen{};
  std::int64_t width = 0, height = 0;
  PnmHeader pnm;
  BitmapHeader bitmap;
  const bool stbKnows =
      stbi_info_from_memory(data, static_cast<int>(size), nullptr, nullptr, nullptr) != 0;
  if (startsWith(data, size, "\x89PNG\r\n\x1a\n")) {
    out.kind = PictureKind::Png;
    if (size >= 24) {  // the IHDR chunk comes first: width and height, big-endian
      width = bigEndian32(data + 16);
      height = bigEndian32(data + 20);
    }
  } else if (startsWith(data, size, "\xFF\xD8")) {
    out.kind = PictureKind::Jpeg;
  } else if (startsWith(data, size, "GIF8")) {
    out.kind = PictureKind::Gif;
  } else if (startsWith(data, size, "BM")) {
    out.kind = PictureKind::Bitmap;
    bitmap = readBitmapHeader(data, size);
    width = bitmap.width;
    height = bitmap.height < 0 ? -static_cast<std::int64_t>(bitmap.height) : bitmap.height;
  } else if (startsWith(data, size, "P5") || startsWith(data, size, "P6")) {
    out.kind = PictureKind::Pnm;
    pnm = readPnmHeader(data, size);
    width = pnm.width;
    height = pnm.height;
  } else if (stbKnows && !startsWith(data, size, "8BPS") && !startsWith(data, size, "#?") &&
             !startsWith(data, size, "\x53\x80\xF6\x34")) {
    out.kind = PictureKind::Tga;  // the one format without a magic number
  } else {
    return refuse(error, "not a picture hvx can read (" +
                             std::string(stbKnows ? "a kind other than PNG, JPEG, BMP, GIF, TGA "
                                                    "or PNM"
                                                  : stbReason()) +
                             ")");
  }
  if (width == 0 && height == 0) {
    int w = 0, h = 0;
    if (stbi_info_from_memory(data, static_cast<int>(size), &w, &h, nullptr) == 0) {
      return refuse(error, "not a picture hvx can read (" + stbReason() + ")");
    }
    width = w;
    height = h;
  }
  if (!fits(width, height, maxPixels)) {
    return refuse(error, "picture too large: " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels, more than " +
                             std::to_string(maxPixels));
  }
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);

  switch (out.kind) {
    case PictureKind::Jpeg: {
      const JpegMarkers markers = walkJpegMarkers(data, size, kMaxJpegScans);
      if (markers.scans > kMaxJpegScans) {
        return refuse(error, "JPEG with more than " + std::to_string(kMaxJpegScans) +
                                 " scans, too much work to decode");
      }
      if (!markers.complete) {
        return refuse(error, "truncated JPEG: it ends before its end-of-image marker");
      }
      break;
    }
    case PictureKind::Bitmap:
      if (bitmapBytesNeeded(bitmap) > size) {
        return refuse(error, "truncated bitmap: its pixel data ends early");
      }
      break;
    case PictureKind::Pnm: {
      if (pnm.levelMax < 1 || pnm.levelMax > 0xFFFF) {
        return refuse(error, "damaged PNM: its largest value is " + std::to_string(pnm.levelMax) +
                                 ", not 1 to 65535");
      }
      const std::uint64_t sampleBytes = pnm.levelMax > 0xFF ? 2 : 1;
      if (pnm.dataAt + static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
                           static_cast<std::uint64_t>(pnm.channels) * sampleBytes >
          size) {
        return refuse(error, "truncated PNM: its pixel data ends early");
      }
      out.levelMax = static_cast<int>(pnm.levelMax);
      break;
    }
    case PictureKind::Tga:
      if (!tgaComplete(data, size)) {
        return refuse(error, "truncated TGA: its pixel data ends early");
      }
      break;
    case PictureKind::Gif:
      if (!gifFirstFrameComplete(data, size)) {
        return refuse(error, "truncated GIF: its first picture ends early");
      }
      break;
    case PictureKind::Png:
      return pngDataFits(data, size, error);
  }
  return true;
}
