#include "hvx/picture/decode/png_data.h"

#include <zlib.h>

#include <array>
#include <cstdint>

namespace {

constexpr std::size_t kSignatureBytes = 8;
constexpr std::size_t kChunkOverhead = 12;  // length, type, checksum
constexpr int kInterlacePasses = 7;

std::uint64_t bigEndian32(const unsigned char* bytes) {
  return (std::uint64_t{bytes[0]} << 24) | (std::uint64_t{bytes[1]} << 16) |
         (std::uint64_t{bytes[2]} << 8) | std::uint64_t{bytes[3]};
}

int channelsOf(unsigned colourType) {
  switch (colourType) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 1;
  }
}

// The most bytes the inflated data can hold: each row's filter byte and
// samples, with room for the extra rows and padding of the interlaced passes.
std::uint64_t rawBytesBound(const unsigned char* header) {
  const std::uint64_t width = bigEndian32(header);
  const std::uint64_t height = bigEndian32(header + 4);
  const std::uint64_t bits =
      std::uint64_t{header[8]} * static_cast<unsigned>(channelsOf(header[9]));
  const std::uint64_t rowBytes = 1 + (width * bits + 7) / 8;
  return height * rowBytes + kInterlacePasses * (height + 1) * 2;
}

}  // namespace

bool pngDataFits(const unsigned char* data, std::size_t size, std::string& error) {
  std::size_t at = kSignatureBytes;
  std::uint64_t bound = 0;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    error = "could not check the PNG's data (out of memory)";
    return false;
  }
  std::array<unsigned char, 1 << 16> sink{};
  std::uint64_t inflated = 0;
  int status = Z_OK;
  while (at + kChunkOverhead <= size && status == Z_OK) {
    const std::uint64_t length = bigEndian32(data + at);
    const unsigned char* type = data + at + 4;
    const unsigned char* body = data + at + 8;
    if (length > size - at - kChunkOverhead) {
      break;
    }
    at += kChunkOverhead + length;
    if (type[0] == 'I' && type[1] == 'H' && type[2] == 'D' && type[3] == 'R' && length >= 13) {
      bound = rawBytesBound(body);
    } else if (type[0] == 'I' && type[1] == 'D' && type[2] == 'A' && type[3] == 'T') {
      stream.next_in = const_cast<unsigned char*>(body);
      stream.avail_in = static_cast<uInt>(length);
      while (stream.avail_in > 0 && status == Z_OK) {
        stream.next_out = sink.data();
        stream.avail_out = static_cast<uInt>(sink.size());
        status = inflate(&stream, Z_NO_FLUSH);
        inflated += sink.size() - stream.avail_out;
        if (inflated > bound) {
          inflateEnd(&stream);
          error = "damaged PNG: its pixel data inflates to more than its " + std::to_string(bound) +
                  " bytes";
          return false;
        }
        if (status == Z_BUF_ERROR && stream.avail_out != 0) {
          status = Z_OK;  // wants the next chunk's data
          break;
        }
      }
    } else if (type[0] == 'I' && type[1] == 'E' && type[2] == 'N' && type[3] == 'D') {
      break;
    }
  }
  inflateEnd(&stream);
  if (status == Z_STREAM_END) {
    return true;
  }
  if (status == Z_OK || status == Z_BUF_ERROR) {
    error = "truncated PNG: its pixel data ends early";
  } else {
    error = "damaged PNG: its pixel data cannot be inflated";
  }
  return false;
}
