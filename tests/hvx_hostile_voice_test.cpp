// Hostile voices, written to files by the test and read back the way hvx
// reads them: each is refused with one line or handled in bounded time.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "hvx/audio/audio_encoding.h"
#include "hvx/audio/voice_render.h"
#include "hvx/voice/voice_file.h"
#include "hvx/voice/voice_json.h"
#include "hvx/voice/voice_picture.h"
#include "hvx/voice/voice_summary.h"
#include "test_support.h"
#include "voice/voice.h"
#include "voice/voice_writer.h"

namespace {

// `harmonics` harmonics in slot 1, each loud from 0 to 1 s with a dip at
// 0.5 s, a loop round the dip of `loopLength` seconds.
std::unique_ptr<Voice> loopingVoice(int harmonics, float loopLength) {
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  for (int h = 0; h < harmonics; ++h) {
    Envelope& level = voice->sets[1].amplitudeEnvelopes[h];
    const float times[] = {0.0f, 0.5f, 0.5f + loopLength / 2, 0.5f + loopLength, 1.0f};
    const float values[] = {0.5f, 0.5f, 0.1f, 0.5f, 0.5f};
    level.count = 5;
    std::copy(std::begin(times), std::end(times), level.times);
    std::copy(std::begin(values), std::end(values), level.values);
  }
  voice->loopStart = 0.5f;
  voice->loopEnd = 0.5f + loopLength;
  return voice;
}

// The voice through a file and back, as hvx reads it.
std::unique_ptr<Voice> throughFile(const Voice& voice, const TempDir& dir) {
  const std::string path = dir.file("v.hvx");
  VoiceWriter writer;
  EXPECT_TRUE(writer.open(path.c_str()));
  EXPECT_TRUE(encodeVoice(voice, writer));
  EXPECT_TRUE(writer.close());
  auto back = std::make_unique<Voice>();
  std::string problem;
  EXPECT_TRUE(loadVoiceFile(path, *back, problem)) << problem;
  return back;
}

double secondsToRender(const Voice& voice, const RenderSettings& settings) {
  const auto start = std::chrono::steady_clock::now();
  const RenderedAudio audio = renderVoice(voice, settings);
  EXPECT_FALSE(audio.samples.empty());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(HostileVoices, ALoopOfASampleCostsNoMoreThanAnOrdinaryOne) {
  TempDir dir;
  RenderSettings settings;
  settings.holdSeconds = 20;
  // Warm up, then the ordinary loop and one of about a sample at 48 kHz.
  secondsToRender(*loopingVoice(8, 0.25f), settings);
  const double ordinary = secondsToRender(*throughFile(*loopingVoice(8, 0.25f), dir), settings);
  const double tiny = secondsToRender(*throughFile(*loopingVoice(8, 2.1e-5f), dir), settings);
  EXPECT_LT(tiny, 3.0 * ordinary + 0.05) << tiny << " s against " << ordinary << " s";
}

TEST(HostileVoices, HugeAmplitudesAreRefusedWithOneLine) {
  TempDir dir;
  auto voice = loopingVoice(64, 0.25f);
  for (Envelope& level : voice->sets[1].amplitudeEnvelopes) {
    level.values[1] = 3e38f;
  }
  const auto read = throughFile(*voice, dir);
  const std::string problem = renderProblem(*read, RenderSettings{});
  EXPECT_NE(problem.find("amplitude"), std::string::npos) << problem;
  EXPECT_EQ(problem.find('\n'), std::string::npos);
  EXPECT_TRUE(renderVoice(*read, RenderSettings{}).samples.empty());
  // Drawn and described all the same: nothing there overflows.
  EXPECT_FALSE(drawVoicePng(*read, PictureSettings{}).empty());
  EXPECT_NE(summarizeVoice(*read).find("harmonic"), std::string::npos);

  // Just below the bound, every format encodes the (normalized) preview.
  for (Envelope& level : voice->sets[1].amplitudeEnvelopes) {
    level.values[1] = static_cast<float>(kMaxRenderAmplitude);
  }
  RenderSettings settings;
  settings.holdSeconds = 0;
  ASSERT_EQ(renderProblem(*voice, settings), "");
  const RenderedAudio audio = renderVoice(*voice, settings);
  EXPECT_TRUE(std::isfinite(audio.peak));
  EXPECT_TRUE(std::isfinite(toDecibels(audio.gain)));
  for (AudioFormat format : {AudioFormat::Wav, AudioFormat::Flac, AudioFormat::OggVorbis}) {
    std::string bytes, why;
    EXPECT_TRUE(encodeAudio(audio, format, bytes, why)) << why;
  }
}

TEST(HostileVoices, EveryEnvelopeFullAndControlCharactersInTheName) {
  TempDir dir;
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  std::snprintf(voice->name, sizeof voice->name, "%s", "\x1b[2J\rfake.hvx: valid\n\x07");
  voice->setsPerLayer = 2;
  voice->loopStart = 1.0f;
  voice->loopEnd = 1.0f + 1e-5f;
  for (EnvelopeSet& set : voice->sets) {
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      for (Envelope* envelope : {&set.amplitudeEnvelopes[h], &set.frequencyEnvelopes[h]}) {
        envelope->count = kEnvelopeCapacity;
        for (int k = 0; k < kEnvelopeCapacity; ++k) {
          envelope->times[k] = static_cast<float>(k) * 0.01f;
          envelope->values[k] = static_cast<float>((k % 3) + h + 1) * 0.01f;
        }
      }
    }
  }
  const auto read = throughFile(*voice, dir);
  const std::string summary = summarizeVoice(*read);
  for (char c : summary) {
    EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << static_cast<int>(c);
  }
  EXPECT_NE(summary.find("name            \\x1b[2J\\rfake.hvx: valid\\n\\x07\n"), std::string::npos)
      << summary;
  EXPECT_FALSE(voiceToJson(*read).dump().empty());
  EXPECT_FALSE(drawVoicePng(*read, PictureSettings{}).empty());
  RenderSettings settings;
  settings.holdSeconds = 5;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(renderVoice(*read, settings).samples.empty());
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0);
}
