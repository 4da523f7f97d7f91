#include "image/bitmap_header.h"

BitmapHeader readBitmapHeader(const unsigned char* bytes, std::size_t size) {
  BitmapHeader header;
  header.signature = size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
  header.headerSize = readLittleEndian(bytes, size, kHeaderSizeOffset, 4);
  header.pixelOffset = readLittleEndian(bytes, size, kPixelOffsetOffset, 4);
  header.core = header.headerSize == kCoreHeaderBytes;
  if (header.core) {
    header.width = static_cast<std::int32_t>(readLittleEndian(bytes, size, kCoreWidthOffset, 2));
    header.height = static_cast<std::int32_t>(readLittleEndian(bytes, size, kCoreHeightOffset, 2));
    header.bitsPerPixel = static_cast<int>(readLittleEndian(bytes, size, kCoreBitsOffset, 2));
    return header;
  }
  header.width = static_cast<std::int32_t>(readLittleEndian(bytes, size, kWidthOffset, 4));
  header.height = static_cast<std::int32_t>(readLittleEndian(bytes, size, kHeightOffset, 4));
  header.bitsPerPixel = static_cast<int>(readLittleEndian(bytes, size, kBitsOffset, 2));
  header.compression = readLittleEndian(bytes, size, kCompressionOffset, 4);
  header.coloursUsed = readLittleEndian(bytes, size, kColoursUsedOffset, 4);
  return header;
}

std::uint64_t bitmapRowBytes(std::int64_t width, int bitsPerPixel) {
  if (width <= 0 || bitsPerPixel <= 0) {
    return 0;
  }
  return (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitsPerPixel) + 31) / 32 *
         4;
}
