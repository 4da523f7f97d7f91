#include "image/bitmap_writer.h"

#include <fstream>

#include "image/bitmap_format.h"
#include "image/bitmap_header.h"

namespace {

constexpr int kGreyBits = 8;
constexpr std::uint32_t kPaletteEntries = 256;
constexpr std::size_t kPaletteEntryBytes = 4;

void putLittleEndian(std::string& out, std::size_t offset, std::uint32_t value, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
  }
}

}  // namespace

std::string makeBitmap(std::int32_t width, std::int32_t height,
                       const std::vector<std::uint8_t>& pixels) {
  std::string out(kPixelDataOffset, '\0');
  out[0] = 'B';
  out[1] = 'M';
  putLittleEndian(out, kFileSizeOffset,
                  static_cast<std::uint32_t>(kPixelDataOffset + pixels.size()), 4);
  putLittleEndian(out, kPixelOffsetOffset, static_cast<std::uint32_t>(kPixelDataOffset), 4);
  putLittleEndian(out, kHeaderSizeOffset, kInfoHeaderBytes, 4);
  putLittleEndian(out, kWidthOffset, static_cast<std::uint32_t>(width), 4);
  putLittleEndian(out, kHeightOffset, static_cast<std::uint32_t>(height), 4);
  putLittleEndian(out, kPlanesOffset, 1, 2);
  putLittleEndian(out, kBitsOffset, kGreyBits, 2);
  putLittleEndian(out, kImageSizeOffset, static_cast<std::uint32_t>(pixels.size()), 4);
  putLittleEndian(out, kColoursUsedOffset, kPaletteEntries, 4);
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const char grey = static_cast<char>(i);
    const std::size_t at = kBitmapHeaderBytes + kPaletteEntryBytes * i;
    out[at] = grey;
    out[at + 1] = grey;
    out[at + 2] = grey;
  }
  out.append(pixels.begin(), pixels.end());
  return out;
}

bool writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return static_cast<bool>(file);
}
