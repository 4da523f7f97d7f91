#include "hvx/studio/studio_sound.h"

#include <cmath>
#include <memory>

#include "hvx/analysis/sound_picture.h"
#include "hvx/analysis/sound_reader.h"
#include "hvx/audio/note_name.h"
#include "hvx/studio/work_slots.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"

std::string noKindSentence(const std::string& fileName) {
  return "\"" + fileName +
         "\" is none of what the studio reads: pictures (PNG, JPEG, BMP, GIF, TGA, PNM), "
         "sounds (WAV, FLAC, AIFF, Ogg) and voices (.hvx).";
}

namespace {

// A sound decoded for analysis is up to 64 MB of samples: two at once at most,
// whichever connections ask.
constexpr int kAnalysisSlots = 2;
WorkSlots analysisSlots(kAnalysisSlots);

const unsigned char* bytesOf(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

double tenths(double value) { return std::round(value * 10.0) / 10.0; }
double millis(double value) { return std::round(value * 1000.0) / 1000.0; }

}  // namespace

bool isVoiceUpload(const std::string& bytes) {
  if (bytes.size() > kLargestVoiceFileBytes) {
    return false;
  }
  auto voice = std::make_unique<Voice>();  // too big for a stack
  VoiceReadError error;
  return readVoice(bytesOf(bytes), bytes.size(), *voice, error);
}

bool isSoundUpload(const std::string& bytes) {
  return isSoundContainer(bytesOf(bytes), bytes.size());
}

bool analyseSoundUpload(const std::string& bytes, std::string& bitmap, nlohmann::json& facts,
                        std::string& problem) {
  const SlotHeld slot(analysisSlots);
  Sound sound;
  std::string error;
  // As hvx analyze reads a sound with no part and no interval named.
  if (!readSoundMemory(bytesOf(bytes), bytes.size(), SoundRequest{}, sound, error)) {
    problem = "The sound could not be analysed: " + error + ".";
    return false;
  }
  const double pitch = foundPitch(sound);
  if (pitch == 0.0) {
    problem = "The sound has no pitch to analyse it by (silence or noise?).";
    return false;
  }
  const SoundPicture picture = analyseSoundPicture(sound, pitch, 0.0, 0);
  bitmap = picture.bitmap;
  std::string note;
  double cents = 0;
  const bool named = nearestNote(picture.reference, note, cents);
  const double offset = sound.startSeconds;
  const NoteParts& parts = picture.parts;
  facts = nlohmann::json{
      {"seconds", millis(sound.fileSeconds)},
      {"sampleRate", sound.sampleRate},
      {"cut", sound.cut},
      {"pitch",
       {{"hertz", picture.reference},
        {"note", named ? nlohmann::json(note) : nlohmann::json(nullptr)},
        {"cents", named ? nlohmann::json(tenths(cents)) : nlohmann::json(nullptr)},
        {"text", describePitch(picture.reference)}}},
      {"played", picture.played},
      {"parts",
       {{"onset", millis(offset + parts.onset)},
        {"attackEnd", millis(offset + parts.attackEnd)},
        {"noteEnd", millis(offset + parts.noteEnd)},
        {"end", millis(offset + parts.end)},
        {"body", parts.body},
        {"bodyLevel", parts.body ? nlohmann::json(tenths(parts.bodyLevel)) : nullptr}}},
      {"rows", picture.timing.rows},
      {"interval", picture.timing.interval},
      {"bpm", picture.timing.bpm},
      {"tonepix", tonepixTiming(picture.timing)}};
  return true;
}
