#include "hvx/voice/voice_picture.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>

#include "voice/voice_layout.h"

namespace {

constexpr double kWhite = 255.0;

std::uint8_t greyLevel(float amplitude, double fullScale) {
  const double level = std::round(static_cast<double>(amplitude) / fullScale * kWhite);
  return static_cast<std::uint8_t>(std::clamp(level, 0.0, kWhite));
}

void appendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                             static_cast<std::size_t>(size));
}

}  // namespace

GreyPicture drawVoice(const Voice& voice, const PictureSettings& settings) {
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  int rows = 0;
  float largest = 0.0f;
  for (int i = 0; i < used; ++i) {
    for (const Envelope& envelope : voice.sets[slots[i]].amplitudeEnvelopes) {
      rows = std::max(rows, envelope.count);
      for (int k = 0; k < envelope.count; ++k) {
        largest = std::max(largest, envelope.values[k]);
      }
    }
  }
  const int scale = std::clamp(settings.scale, 1, kMaxPictureScale);
  GreyPicture picture;
  if (rows == 0) {
    return picture;
  }
  picture.width = used * kVoiceHarmonics * scale;
  picture.height = rows * scale;
  picture.pixels.assign(
      static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height), 0);
  // A silent voice stays black in either mode.
  const double fullScale =
      settings.absolute || largest <= 0.0f ? 1.0 : static_cast<double>(largest);
  for (int i = 0; i < used; ++i) {
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      const Envelope& envelope = voice.sets[slots[i]].amplitudeEnvelopes[h];
      for (int k = 0; k < envelope.count; ++k) {
        const std::uint8_t level = greyLevel(envelope.values[k], fullScale);
        const int row = settings.topFirst ? k : rows - 1 - k;
        const int column = i * kVoiceHarmonics + h;
        for (int y = row * scale; y < (row + 1) * scale; ++y) {
          auto* line =
              &picture
                   .pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width)];
          std::fill(line + column * scale, line + (column + 1) * scale, level);
        }
      }
    }
  }
  return picture;
}

std::string encodePng(const GreyPicture& picture) {
  std::string png;
  if (picture.pixels.empty()) {
    return png;
  }
  if (stbi_write_png_to_func(appendBytes, &png, picture.width, picture.height, 1,
                             picture.pixels.data(), picture.width) == 0) {
    png.clear();
  }
  return png;
}

std::string drawVoicePng(const Voice& voice, const PictureSettings& settings) {
  return encodePng(drawVoice(voice, settings));
}
