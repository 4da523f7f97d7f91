#include "hvx_pictures.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/fixed_constants.h"
#include "voice/voice_reader.h"

// The writer's deflate, exported by the Debian library but declared only in its
// implementation part; it returns memory from malloc.
extern "C" unsigned char* stbi_zlib_compress(unsigned char* data, int length, int* outLength,
                                             int quality);

namespace {

void appendToString(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                             static_cast<std::size_t>(size));
}

void putBE32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFFu));
  }
}

void putLE(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
  }
}

std::uint32_t crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char byte : bytes) {
    crc ^= static_cast<unsigned char>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

void putChunk(std::string& png, const char* type, const std::string& data) {
  putBE32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = type + data;
  png += body;
  putBE32(png, crc32(body));
}

}  // namespace

std::string pngFile(int width, int height, int channels, const std::vector<std::uint8_t>& pixels) {
  std::string out;
  stbi_write_png_to_func(appendToString, &out, width, height, channels, pixels.data(),
                         width * channels);
  return out;
}

std::string bmp24File(int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::string out;
  stbi_write_bmp_to_func(appendToString, &out, width, height, 3, rgb.data());
  return out;
}

std::string palettePngFile(int width, int height, const std::vector<Rgb>& palette,
                           const std::vector<std::uint8_t>& indices) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  putBE32(header, static_cast<std::uint32_t>(width));
  putBE32(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x03\x00\x00\x00", 5);  // 8-bit indices, colour type 3
  putChunk(png, "IHDR", header);
  std::string colours;
  for (const Rgb& entry : palette) {
    colours.append(reinterpret_cast<const char*>(entry.data()), 3);
  }
  putChunk(png, "PLTE", colours);
  std::string rows;  // filter type 0 before every row
  for (int y = 0; y < height; ++y) {
    rows.push_back('\0');
    rows.append(reinterpret_cast<const char*>(indices.data()) + y * width,
                static_cast<std::size_t>(width));
  }
  int length = 0;
  unsigned char* packed = stbi_zlib_compress(reinterpret_cast<unsigned char*>(rows.data()),
                                             static_cast<int>(rows.size()), &length, 8);
  putChunk(png, "IDAT",
           std::string(reinterpret_cast<char*>(packed), static_cast<std::size_t>(length)));
  std::free(packed);
  putChunk(png, "IEND", "");
  return png;
}

std::string rleBmpFile(int width, int height, bool fourBit, const std::vector<Rgb>& palette,
                       const std::vector<std::uint8_t>& indices) {
  std::string stream;
  for (int y = height - 1; y >= 0; --y) {  // bottom row first
    const std::uint8_t* row = indices.data() + y * width;
    for (int x = 0; x < width;) {
      if (fourBit) {  // two alternating indices per run of two
        stream.push_back(2);
        stream.push_back(static_cast<char>((row[x] << 4) | row[x + 1]));
        x += 2;
      } else if (x + 3 <= width && row[x] != row[x + 1]) {  // three literal indices, one pad byte
        stream += std::string("\0\3", 2);
        stream.append(reinterpret_cast<const char*>(row + x), 3);
        stream.push_back('\0');
        x += 3;
      } else {
        int run = 1;
        while (x + run < width && row[x + run] == row[x] && run < 255) {
          ++run;
        }
        stream.push_back(static_cast<char>(run));
        stream.push_back(static_cast<char>(row[x]));
        x += run;
      }
    }
    stream += std::string("\0\0", 2);
  }
  stream += std::string("\0\1", 2);

  const std::uint32_t offset = 54 + static_cast<std::uint32_t>(palette.size()) * 4;
  std::string bmp = "BM";
  putLE(bmp, offset + static_cast<std::uint32_t>(stream.size()), 4);
  putLE(bmp, 0, 4);
  putLE(bmp, offset, 4);
  putLE(bmp, 40, 4);
  putLE(bmp, static_cast<std::uint32_t>(width), 4);
  putLE(bmp, static_cast<std::uint32_t>(height), 4);
  putLE(bmp, 1, 2);
  putLE(bmp, fourBit ? 4 : 8, 2);
  putLE(bmp, fourBit ? 2 : 1, 4);
  putLE(bmp, static_cast<std::uint32_t>(stream.size()), 4);
  putLE(bmp, 0, 4);  // horizontal resolution
  putLE(bmp, 0, 4);  // vertical resolution
  putLE(bmp, static_cast<std::uint32_t>(palette.size()), 4);
  putLE(bmp, 0, 4);
  for (const Rgb& entry : palette) {  // stored blue, green, red, reserved
    bmp += {static_cast<char>(entry[2]), static_cast<char>(entry[1]), static_cast<char>(entry[0]),
            '\0'};
  }
  return bmp + stream;
}

std::vector<std::vector<float>> amplitudeEnvelopes(const std::string& voice) {
  auto decoded = std::make_unique<Voice>();
  VoiceReadError error;
  if (!readVoice(reinterpret_cast<const unsigned char*>(voice.data()), voice.size(), *decoded,
                 error)) {
    ADD_FAILURE() << describeVoiceReadError(error);
    return {};
  }
  std::vector<std::vector<float>> envelopes;
  for (const Envelope& envelope : decoded->sets[1].amplitudeEnvelopes) {
    envelopes.emplace_back(envelope.values, envelope.values + envelope.count);
  }
  return envelopes;
}

int greyLevelOf(float amplitude) {
  const double pixelScale = static_cast<double>(1.0f / 255.0f);
  for (int grey = 0; grey < 256; ++grey) {
    const auto loaded = static_cast<float>(static_cast<double>(grey) * pixelScale);
    const auto scaled = static_cast<float>(100.0 * static_cast<double>(loaded) * kPercent);
    if (scaled == amplitude) {
      return grey;
    }
  }
  return -1;
}
