#pragma once

#include <cstddef>
#include <cstdint>

// The bitmap file's header: where each field lives, how it is read, and the
// fields gathered in one struct. tonepix's loader, hvx's check, preparation
// and run-length expansion, and the writer all name fields from here.

// The 14-byte file header, then an info header of at least 40 bytes (or the
// oldest, 12-byte core header with 16-bit sizes).
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kCoreHeaderBytes = 12;

constexpr std::size_t kFileSizeOffset = 2;
// Four bytes no reader consults, tonepix included.
constexpr std::size_t kReservedOffset = 6;
constexpr std::size_t kPixelOffsetOffset = 10;
constexpr std::size_t kHeaderSizeOffset = 14;
constexpr std::size_t kWidthOffset = 18;
constexpr std::size_t kHeightOffset = 22;
constexpr std::size_t kPlanesOffset = 26;
constexpr std::size_t kBitsOffset = 28;
constexpr std::size_t kCompressionOffset = 30;
constexpr std::size_t kImageSizeOffset = 34;
constexpr std::size_t kColoursUsedOffset = 46;
// The core header's fields, 16 bits each.
constexpr std::size_t kCoreWidthOffset = 18;
constexpr std::size_t kCoreHeightOffset = 20;
constexpr std::size_t kCoreBitsOffset = 24;

// Compression field values.
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;

// `count` bytes (1 to 4) at `offset`, little-endian; bytes past `size` read as
// zero, as a short file gives them to a reader that zero-fills.
inline std::uint32_t readLittleEndian(const unsigned char* bytes, std::size_t size,
                                      std::size_t offset, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = count; i-- > 0;) {
    const std::size_t at = offset + i;
    value = (value << 8) | (at < size ? bytes[at] : 0u);
  }
  return value;
}

struct BitmapHeader {
  bool signature = false;  // starts with "BM"
  bool core = false;       // the 12-byte header
  std::uint32_t headerSize = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: top row first
  int bitsPerPixel = 0;
  std::uint32_t compression = kUncompressed;
  std::uint32_t pixelOffset = 0;
  std::uint32_t coloursUsed = 0;  // 0 with a core header
};

BitmapHeader readBitmapHeader(const unsigned char* bytes, std::size_t size);

// Bytes in one stored row of an uncompressed picture: padded to 4 bytes.
// Zero for a width or depth that makes no row.
std::uint64_t bitmapRowBytes(std::int64_t width, int bitsPerPixel);
