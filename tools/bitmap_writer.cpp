#include "bitmap_writer.h"

#include <fstream>

namespace {
void putLE32(std::string& out, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFFu);
  }
}
}  // namespace

std::string makeBitmap(std::int32_t width, std::int32_t height,
                       const std::vector<std::uint8_t>& pixels) {
  constexpr std::size_t kHeader = 54;
  constexpr std::size_t kPalette = 1024;
  std::string out(kHeader + kPalette, '\0');
  out[0] = 'B';
  out[1] = 'M';
  putLE32(out, 2, static_cast<std::uint32_t>(kHeader + kPalette + pixels.size()));
  putLE32(out, 10, static_cast<std::uint32_t>(kHeader + kPalette));  // pixel data offset
  putLE32(out, 14, 40);                                              // info header size
  putLE32(out, 18, static_cast<std::uint32_t>(width));
  putLE32(out, 22, static_cast<std::uint32_t>(height));
  out[26] = 1;  // planes
  out[28] = 8;  // bits per pixel
  putLE32(out, 34, static_cast<std::uint32_t>(pixels.size()));
  putLE32(out, 46, 256);  // colours used
  for (std::size_t i = 0; i < 256; ++i) {
    const char grey = static_cast<char>(i);
    out[kHeader + 4 * i] = grey;
    out[kHeader + 4 * i + 1] = grey;
    out[kHeader + 4 * i + 2] = grey;
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
