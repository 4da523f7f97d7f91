// A voice file opened in the studio and edited: any bytes, then four bytes
// of edit (the loop's rows, and a pattern of cells drawn). An accepted edit
// must give a voice that reads back, draws as the levels sent where the voice
// has points, and keeps every frequency envelope; a picture said to make the
// voice must make it byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "hvx/studio/studio_conversion.h"
#include "hvx/studio/studio_voice.h"
#include "hvx/studio/tonepix_recipe.h"
#include "hvx/voice/voice_file.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"

namespace {

constexpr std::size_t kEditBytes = 4;

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool read(const std::string& bytes, Voice& voice) {
  VoiceReadError error;
  return readVoice(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), voice,
                   error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < kEditBytes) {
    return 0;
  }
  const std::string file(reinterpret_cast<const char*>(bytes), size - kEditBytes);
  const std::uint8_t* edit = bytes + size - kEditBytes;
  auto voice = std::make_unique<Voice>();
  if (!read(file, *voice)) {
    return 0;
  }
  VoiceGrid grid;
  std::string error;
  if (!voiceGridOf(*voice, grid, error)) {
    check(!error.empty());
    return 0;
  }
  check(grid.levels.size() ==
        static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.columns));

  VoiceEdit change;
  change.loopStartRow = edit[0] == 0xff ? -1 : edit[0] % 130;
  change.loopEndRow = edit[1] == 0xff ? -1 : edit[1] % 130;
  if (edit[2] != 0) {
    change.levels = grid.levels;
    for (std::size_t i = 0; i < change.levels.size(); ++i) {
      if ((i * edit[2]) % 7 == 0) {
        change.levels[i] = static_cast<std::uint8_t>(i * edit[3]);
      }
    }
  }
  auto edited = std::make_unique<Voice>();
  if (!applyVoiceEdit(*voice, grid, change, *edited, error)) {
    check(!error.empty());
    return 0;
  }
  const std::string saved = encodeVoiceFile(*edited);
  auto again = std::make_unique<Voice>();
  check(!saved.empty() && read(saved, *again));
  VoiceGrid shown;
  check(voiceGridOf(*again, shown, error));
  int slots[kVoiceSlots];
  const int used = slotsInUse(*voice, slots);
  for (int i = 0; i < used; ++i) {
    const EnvelopeSet& before = voice->sets[slots[i]];
    const EnvelopeSet& after = again->sets[slots[i]];
    check(std::memcmp(before.frequencyEnvelopes, after.frequencyEnvelopes,
                      sizeof before.frequencyEnvelopes) == 0);
    for (int h = 0; h < kVoiceHarmonics && !change.levels.empty(); ++h) {
      const int column = i * kVoiceHarmonics + h;
      for (int k = 0; k < before.amplitudeEnvelopes[h].count; ++k) {
        const std::size_t at =
            static_cast<std::size_t>(k) * static_cast<std::size_t>(grid.columns) +
            static_cast<std::size_t>(column);
        check(shown.levels[at] == change.levels[at]);
      }
    }
  }

  TonepixRecipe recipe;
  const std::string name = voiceNameOf(*again);
  if (findTonepixRecipe(saved, name, recipe)) {
    check(convertLikeTonepix(recipe.bitmap, name, recipe.tone, 1).voice == saved);
  }
  return 0;
}
