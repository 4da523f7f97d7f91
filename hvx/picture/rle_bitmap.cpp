#include "hvx/picture/rle_bitmap.h"

#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kFullPalette = 256;

std::uint32_t u32At(const unsigned char* data, std::size_t offset) {
  return static_cast<std::uint32_t>(data[offset]) |
         (static_cast<std::uint32_t>(data[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(data[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(data[offset + 3]) << 24);
}

void putU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFFu));
  }
}

void putU16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFFu));
  out.push_back(static_cast<char>((value >> 8) & 0xFFu));
}

// Palette indices of a run-length stream, bottom row first. Runs that would
// leave the picture are clipped; pixels no run reaches stay index 0.
class RleCanvas {
 public:
  RleCanvas(std::size_t width, std::size_t height)
      : width_(width), height_(height), indices_(width * height, 0) {}
  void put(unsigned index) {
    if (x_ < width_ && y_ < height_) {
      indices_[y_ * width_ + x_] = static_cast<unsigned char>(index);
    }
    ++x_;
  }
  void endLine() {
    x_ = 0;
    ++y_;
  }
  void move(std::size_t dx, std::size_t dy) {
    x_ += dx;
    y_ += dy;
  }
  bool full() const { return y_ >= height_; }
  const std::vector<unsigned char>& indices() const { return indices_; }

 private:
  std::size_t width_, height_;
  std::size_t x_ = 0, y_ = 0;
  std::vector<unsigned char> indices_;
};

// Follows the stream to its end-of-picture mark. False when it stops short.
bool decodeStream(const unsigned char* stream, std::size_t size, bool fourBit, RleCanvas& canvas) {
  std::size_t at = 0;
  auto nibbleOrByte = [fourBit](unsigned value, std::size_t i) {
    return fourBit ? ((i % 2 == 0) ? (value >> 4) : (value & 0x0Fu)) : value;
  };
  while (at + 2 <= size) {
    const unsigned count = stream[at];
    const unsigned value = stream[at + 1];
    at += 2;
    if (count > 0) {  // a run of one index (two alternating ones at 4 bits)
      for (std::size_t i = 0; i < count; ++i) {
        canvas.put(nibbleOrByte(value, i));
      }
      continue;
    }
    if (value == 0) {
      canvas.endLine();
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (at + 2 > size) {
        return false;
      }
      canvas.move(stream[at], stream[at + 1]);
      at += 2;
    } else {  // `value` literal indices, padded to whole 16-bit words
      const std::size_t bytes = fourBit ? (value + 1u) / 2u : value;
      if (at + bytes > size) {
        return false;
      }
      for (std::size_t i = 0; i < value; ++i) {
        canvas.put(nibbleOrByte(stream[at + (fourBit ? i / 2 : i)], fourBit ? i : 0));
      }
      at += bytes + (bytes % 2);
    }
  }
  // Some writers stop after the last row without the end mark.
  return canvas.full();
}

}  // namespace

RleExpansion expandRleBitmap(const unsigned char* data, std::size_t size, std::size_t maxPixels,
                             std::string& expanded, std::string& error) {
  if (size < kFileHeaderBytes + kInfoHeaderBytes || data[0] != 'B' || data[1] != 'M') {
    return RleExpansion::NotRle;
  }
  const std::uint32_t headerSize = u32At(data, 14);
  const std::uint32_t compression = u32At(data, 30);
  const std::uint32_t bitsPerPixel = static_cast<std::uint32_t>(data[28]) | (data[29] << 8u);
  if (headerSize < kInfoHeaderBytes || (compression != kRle8 && compression != kRle4)) {
    return RleExpansion::NotRle;
  }
  const bool fourBit = compression == kRle4;
  if (bitsPerPixel != (fourBit ? 4u : 8u)) {
    error = "damaged bitmap: run-length compression with " + std::to_string(bitsPerPixel) +
            " bits per pixel";
    return RleExpansion::Refused;
  }
  const auto width = static_cast<std::int32_t>(u32At(data, 18));
  const auto height = static_cast<std::int32_t>(u32At(data, 22));
  if (width <= 0 || height <= 0) {
    error = "damaged bitmap: run-length compressed pictures need a positive width and height";
    return RleExpansion::Refused;
  }
  const auto w = static_cast<std::size_t>(width);
  const auto h = static_cast<std::size_t>(height);
  if (w > maxPixels / h) {
    error = "picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels, more than " + std::to_string(maxPixels);
    return RleExpansion::Refused;
  }

  const std::size_t paletteLimit = fourBit ? 16 : 256;
  std::size_t colours = u32At(data, 46);
  if (colours == 0 || colours > paletteLimit) {
    colours = paletteLimit;
  }
  const std::size_t paletteAt = kFileHeaderBytes + headerSize;
  const std::size_t pixelsAt = u32At(data, 10);
  if (paletteAt > size || colours * 4 > size - paletteAt || pixelsAt > size) {
    error = "truncated bitmap: the palette or the pixel data is missing";
    return RleExpansion::Refused;
  }

  RleCanvas canvas(w, h);
  if (!decodeStream(data + pixelsAt, size - pixelsAt, fourBit, canvas)) {
    error = "truncated bitmap: the compressed pixel data ends early";
    return RleExpansion::Refused;
  }

  // The same picture uncompressed: 8 bits per pixel, rows padded to 4 bytes,
  // a full palette so that an index past the file's colours reads as black.
  const std::size_t stride = (w + 3) / 4 * 4;
  const std::size_t offset = kFileHeaderBytes + kInfoHeaderBytes + kFullPalette * 4;
  const std::size_t total = offset + stride * h;
  expanded.clear();
  expanded.reserve(total);
  expanded += "BM";
  putU32(expanded, static_cast<std::uint32_t>(total));
  putU32(expanded, 0);
  putU32(expanded, static_cast<std::uint32_t>(offset));
  putU32(expanded, kInfoHeaderBytes);
  putU32(expanded, static_cast<std::uint32_t>(width));
  putU32(expanded, static_cast<std::uint32_t>(height));
  putU16(expanded, 1);  // planes
  putU16(expanded, 8);  // bits per pixel
  putU32(expanded, 0);  // uncompressed
  putU32(expanded, static_cast<std::uint32_t>(stride * h));
  putU32(expanded, 0);
  putU32(expanded, 0);
  putU32(expanded, kFullPalette);
  putU32(expanded, 0);
  expanded.append(reinterpret_cast<const char*>(data + paletteAt), colours * 4);
  expanded.append((kFullPalette - colours) * 4, '\0');
  const std::vector<unsigned char>& indices = canvas.indices();
  for (std::size_t y = 0; y < h; ++y) {
    expanded.append(reinterpret_cast<const char*>(indices.data() + y * w), w);
    expanded.append(stride - w, '\0');
  }
  return RleExpansion::Expanded;
}
