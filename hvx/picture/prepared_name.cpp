#include "hvx/picture/prepared_name.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <vector>

#include "image/bitmap_format.h"
#include "image/bitmap_header.h"
#include "image/bitmap_writer.h"

std::string defaultPreparedName(const std::string& input) {
  std::filesystem::path path(input);
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".bmp") {
    path.replace_filename(path.stem().string() + "-prepared.bmp");
  } else {
    path.replace_extension(".bmp");
  }
  return path.string();
}

namespace {

// FNV-1a over the pixels: any edit of a level changes it.
std::uint32_t pixelStamp(const std::string& bytes) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = kPixelDataOffset; i < bytes.size(); ++i) {
    hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 16777619u;
  }
  return hash;
}

std::string stampBytes(std::uint32_t stamp) {
  std::string text(4, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char>((stamp >> (8 * i)) & 0xffu);
  }
  return text;
}

}  // namespace

void stampBitmap(std::string& bytes) {
  if (bytes.size() >= kPixelDataOffset) {
    bytes.replace(kReservedOffset, 4, stampBytes(pixelStamp(bytes)));
  }
}

bool isPreparedBitmap(const std::string& path) {
  // Every row count tonepix takes: earlier versions of hvx prepare wrote up
  // to its full limit.
  constexpr std::size_t kLargest =
      kPixelDataOffset + static_cast<std::size_t>(kMaxPictureRows) * kPictureWidth;
  std::ifstream file(path, std::ios::binary);
  std::string bytes(kLargest + 1, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  if (bytes.size() <= kPixelDataOffset || bytes.size() > kLargest ||
      (bytes.size() - kPixelDataOffset) % kPictureWidth != 0) {
    return false;
  }
  const auto rows = static_cast<std::int32_t>((bytes.size() - kPixelDataOffset) / kPictureWidth);
  std::string expected =
      makeBitmap(kPictureWidth, rows, std::vector<std::uint8_t>(bytes.size() - kPixelDataOffset));
  expected.replace(kReservedOffset, 4, stampBytes(pixelStamp(bytes)));
  return bytes.compare(0, kPixelDataOffset, expected, 0, kPixelDataOffset) == 0;
}
