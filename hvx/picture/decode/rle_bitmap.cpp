#include "hvx/picture/decode/rle_bitmap.h"

#include <algorithm>
#include <cstdint>

#include "image/bitmap_header.h"

namespace {

constexpr std::size_t kPaletteEntryBytes = 4;  // blue, green, red, unused
constexpr int kRgba = 4;
constexpr unsigned char kOpaque = 255;

// Palette indices of a run-length stream, bottom row first. Whatever would
// leave the picture is dropped; pixels no run reaches stay index 0.
class RleCanvas {
 public:
  RleCanvas(std::size_t width, std::size_t height)
      : width_(width), height_(height), indices_(width * height, 0) {}
  // The first `count` of `count` indices that still fall inside the row.
  std::size_t room(std::size_t count) const {
    return full() || x_ >= width_ ? 0 : std::min(count, width_ - x_);
  }
  void put(std::size_t i, unsigned index) {
    indices_[y_ * width_ + x_ + i] = static_cast<unsigned char>(index);
  }
  void advance(std::size_t count) { x_ += count; }
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

// Follows the stream to its end-of-picture mark or to the picture's last row.
// False when it stops short.
bool decodeStream(const unsigned char* stream, std::size_t size, bool fourBit, RleCanvas& canvas) {
  std::size_t at = 0;
  auto nibbleOrByte = [fourBit](unsigned value, std::size_t i) {
    return fourBit ? ((i % 2 == 0) ? (value >> 4) : (value & 0x0Fu)) : value;
  };
  while (at + 2 <= size && !canvas.full()) {
    const unsigned count = stream[at];
    const unsigned value = stream[at + 1];
    at += 2;
    if (count > 0) {  // a run of one index (two alternating ones at 4 bits)
      const std::size_t shown = canvas.room(count);
      for (std::size_t i = 0; i < shown; ++i) {
        canvas.put(i, nibbleOrByte(value, i));
      }
      canvas.advance(count);
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
      const std::size_t shown = canvas.room(value);
      for (std::size_t i = 0; i < shown; ++i) {
        canvas.put(i, nibbleOrByte(stream[at + (fourBit ? i / 2 : i)], fourBit ? i : 0));
      }
      canvas.advance(value);
      at += bytes + (bytes % 2);
    }
  }
  // Some writers stop after the last row without the end mark.
  return canvas.full();
}

}  // namespace

bool isRleBitmap(const unsigned char* data, std::size_t size) {
  const BitmapHeader header = readBitmapHeader(data, size);
  return header.signature && !header.core &&
         (header.compression == kRle8 || header.compression == kRle4);
}

bool decodeRleBitmap(const unsigned char* data, std::size_t size, int& width, int& height,
                     std::vector<unsigned char>& rgba, std::string& error) {
  const BitmapHeader header = readBitmapHeader(data, size);
  const bool fourBit = header.compression == kRle4;
  if (header.bitsPerPixel != (fourBit ? 4 : 8)) {
    error = "damaged bitmap: run-length compression with " + std::to_string(header.bitsPerPixel) +
            " bits per pixel";
    return false;
  }
  if (header.width <= 0 || header.height <= 0) {
    error = "damaged bitmap: run-length compressed pictures need a positive width and height";
    return false;
  }
  const auto w = static_cast<std::size_t>(header.width);
  const auto h = static_cast<std::size_t>(header.height);

  const std::size_t paletteLimit = fourBit ? 16 : 256;
  std::size_t colours = header.coloursUsed;
  if (colours == 0 || colours > paletteLimit) {
    colours = paletteLimit;
  }
  const std::size_t paletteAt = kFileHeaderBytes + header.headerSize;
  const std::size_t pixelsAt = header.pixelOffset;
  if (paletteAt > size || colours * kPaletteEntryBytes > size - paletteAt || pixelsAt > size) {
    error = "truncated bitmap: the palette or the pixel data is missing";
    return false;
  }
  RleCanvas canvas(w, h);
  if (!decodeStream(data + pixelsAt, size - pixelsAt, fourBit, canvas)) {
    error = "truncated bitmap: the compressed pixel data ends early";
    return false;
  }
  // Rows come bottom first; an index past the file's colours reads as black.
  rgba.assign(w * h * kRgba, 0);
  const std::vector<unsigned char>& indices = canvas.indices();
  for (std::size_t y = 0; y < h; ++y) {
    const unsigned char* row = indices.data() + (h - 1 - y) * w;
    unsigned char* out = rgba.data() + y * w * kRgba;
    for (std::size_t x = 0; x < w; ++x, out += kRgba) {
      if (row[x] < colours) {
        const unsigned char* entry = data + paletteAt + row[x] * kPaletteEntryBytes;
        out[0] = entry[2];
        out[1] = entry[1];
        out[2] = entry[0];
      }
      out[3] = kOpaque;
    }
  }
  width = header.width;
  height = header.height;
  return true;
}
