// hvx render: pitch, timing, the sustain loop and levels of the preview.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "hvx/audio/audio_encoding.h"
#include "hvx/audio/envelope_sampler.h"
#include "hvx/audio/note_name.h"
#include "hvx/audio/oscillator_bank.h"
#include "hvx/audio/preview_file.h"
#include "hvx/audio/voice_render.h"
#include "image/bitmap_writer.h"
#include "test_support.h"

namespace {

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;

// A voice in slot 1 whose harmonic `h` (1-based) holds `amplitude` from 0 to
// `seconds` at its own number; every other harmonic is empty.
std::unique_ptr<Voice> oneHarmonic(int h, float amplitude, float seconds) {
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  for (Envelope* envelope :
       {&voice->sets[1].amplitudeEnvelopes[h - 1], &voice->sets[1].frequencyEnvelopes[h - 1]}) {
    envelope->count = 2;
    envelope->times[1] = seconds;
  }
  Envelope& level = voice->sets[1].amplitudeEnvelopes[h - 1];
  level.values[0] = level.values[1] = amplitude;
  Envelope& ratio = voice->sets[1].frequencyEnvelopes[h - 1];
  ratio.values[0] = ratio.values[1] = static_cast<float>(h);
  return voice;
}

RenderedAudio render(const Voice& voice, double hold, double frequency = 0) {
  RenderSettings settings;
  settings.holdSeconds = hold;
  settings.frequency = frequency;
  settings.normalize = false;
  return renderVoice(voice, settings);
}

// Frequency from the upward zero crossings between two times, each crossing
// placed between its samples by a straight line: right to within about a
// hertz, even close to half the sample rate.
double zeroCrossingFrequency(const std::vector<float>& samples, double from, double to) {
  double firstCrossing = -1;
  double lastCrossing = -1;
  int crossings = 0;
  for (auto n = static_cast<std::size_t>(from * kRate);
       n + 1 < static_cast<std::size_t>(to * kRate); ++n) {
    const double a = samples[n];
    const double b = samples[n + 1];
    if (a < 0.0 && b >= 0.0) {
      lastCrossing = static_cast<double>(n) + a / (a - b);
      firstCrossing = crossings++ == 0 ? lastCrossing : firstCrossing;
    }
  }
  return crossings < 2 ? 0.0 : (crossings - 1) * kRate / (lastCrossing - firstCrossing);
}

// The phase of the sound against a reference of `hertz` over a quarter second
// starting at `from` (a single-bin Fourier sum).
double phaseAgainst(const std::vector<float>& samples, double hertz, double from) {
  std::complex<double> sum;
  const auto first = static_cast<std::size_t>(from * kRate);
  for (std::size_t n = first; n < first + kRate / 4; ++n) {
    sum += static_cast<double>(samples[n]) *
           std::polar(1.0, -2.0 * kPi * hertz * static_cast<double>(n) / kRate);
  }
  return std::arg(sum);
}

// Precise frequency near `expected`: the zero crossings settle the hertz, the
// drift of the phase against `expected` over half a second the rest.
double measuredFrequency(const std::vector<float>& samples, double expected, double from) {
  const double coarse = zeroCrossingFrequency(samples, from, from + 0.75);
  if (std::fabs(coarse - expected) > 1.0) {
    return coarse;
  }
  double drift =
      phaseAgainst(samples, expected, from + 0.5) - phaseAgainst(samples, expected, from);
  drift = std::remainder(drift, 2.0 * kPi);
  return expected + drift / (2.0 * kPi * 0.5);
}

double peakBetween(const std::vector<float>& samples, double from, double to) {
  double peak = 0;
  for (auto n = static_cast<std::size_t>(from * kRate); n < static_cast<std::size_t>(to * kRate);
       ++n) {
    peak = std::max(peak, std::fabs(static_cast<double>(samples[n])));
  }
  return peak;
}

// Breakpoints as (time, value) pairs.
void setEnvelope(Envelope& envelope, std::initializer_list<std::pair<float, float>> points) {
  envelope.count = 0;
  for (const auto& point : points) {
    envelope.times[envelope.count] = point.first;
    envelope.values[envelope.count++] = point.second;
  }
}

// RMS levels of consecutive 5 ms windows (two periods at 400 Hz) from `from`
// to `to` seconds.
std::vector<double> windowLevels(const std::vector<float>& samples, double from, double to) {
  constexpr std::size_t kWindow = kRate / 200;
  std::vector<double> levels;
  for (auto n = static_cast<std::size_t>(from * kRate);
       n + kWindow <= std::min(samples.size(), static_cast<std::size_t>(to * kRate));
       n += kWindow) {
    double sum = 0;
    for (std::size_t k = n; k < n + kWindow; ++k) {
      sum += static_cast<double>(samples[k]) * static_cast<double>(samples[k]);
    }
    levels.push_back(std::sqrt(sum / kWindow));
  }
  return levels;
}

double largestStep(const std::vector<double>& levels) {
  double largest = 0;
  for (std::size_t i = 1; i < levels.size(); ++i) {
    largest = std::max(largest, std::fabs(levels[i] - levels[i - 1]));
  }
  return largest;
}

}  // namespace

TEST(Render, OneHarmonicSoundsAtItsFrequencyAndKeepsItsLevel) {
  for (int h : {1, 7, 40, 54}) {
    const RenderedAudio audio = render(*oneHarmonic(h, 0.5f, 2.0f), 0);
    ASSERT_EQ(audio.samples.size(), 2u * kRate);
    EXPECT_NEAR(measuredFrequency(audio.samples, 440.0 * h, 0.5), 440.0 * h, 0.1) << h;
    EXPECT_NEAR(peakBetween(audio.samples, 0.5, 1.5), 0.5, 0.005) << h;
  }
  // Transposed: the base frequency becomes middle C.
  double middleC = 0;
  ASSERT_TRUE(noteFrequency("C4", middleC));
  const RenderedAudio low = render(*oneHarmonic(3, 0.5f, 2.0f), 0, middleC);
  EXPECT_NEAR(measuredFrequency(low.samples, 3 * middleC, 0.5), 3 * middleC, 0.1);
  // Long enough for rounding in the oscillators to show: pitch and level stay.
  const RenderedAudio longTone = render(*oneHarmonic(1, 0.5f, 30.0f), 0);
  EXPECT_NEAR(measuredFrequency(longTone.samples, 440.0, 28.0), 440.0, 0.01);
  EXPECT_NEAR(peakBetween(longTone.samples, 28.0, 29.5), 0.5, 0.001);
  // At or above half the sample rate a harmonic is silent.
  const RenderedAudio aliased = render(*oneHarmonic(55, 0.5f, 1.0f), 0);
  EXPECT_EQ(peakBetween(aliased.samples, 0.0, 1.0), 0.0);
}

TEST(Render, AttackLoopsForTheHoldThenReleases) {
  // Loud only between 0.5 and 1.0 s, which is the loop.
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  Envelope& level = voice->sets[1].amplitudeEnvelopes[0];
  const float times[] = {0.0f, 0.5f, 0.5f, 1.0f, 1.0f, 1.5f};
  const float values[] = {0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f};
  level.count = 6;
  std::copy(std::begin(times), std::end(times), level.times);
  std::copy(std::begin(values), std::end(values), level.values);
  voice->loopStart = 0.5f;
  voice->loopEnd = 1.0f;

  const RenderedAudio audio = render(*voice, 2.0);
  ASSERT_EQ(audio.samples.size(), static_cast<std::size_t>(3.5 * kRate));  // 1.0 + 2.0 + 0.5
  EXPECT_EQ(peakBetween(audio.samples, 0.0, 0.49), 0.0);
  EXPECT_NEAR(peakBetween(audio.samples, 0.51, 0.99), 1.0, 0.001);
  EXPECT_NEAR(peakBetween(audio.samples, 1.01, 2.99), 1.0, 0.001);  // round the loop
  EXPECT_EQ(peakBetween(audio.samples, 3.01, 3.5), 0.0);            // released

  // A hold that ends part-way round the loop still releases on time.
  EXPECT_EQ(render(*voice, 0.3).samples.size(), static_cast<std::size_t>(1.8 * kRate));
  EXPECT_EQ(render(*voice, 0.0).samples.size(), static_cast<std::size_t>(1.5 * kRate));
  RenderSettings other;
  other.sampleRate = 44100;
  other.holdSeconds = 0.3;
  EXPECT_EQ(renderVoice(*voice, other).samples.size(), 79380u);

  // A loop of zero length holds its point: here a loud one.
  voice->loopStart = voice->loopEnd = 0.75f;
  const RenderedAudio held = render(*voice, 2.0);
  ASSERT_EQ(held.samples.size(), static_cast<std::size_t>(3.5 * kRate));
  EXPECT_NEAR(peakBetween(held.samples, 0.76, 2.74), 1.0, 0.001);
  EXPECT_EQ(peakBetween(held.samples, 3.01, 3.5), 0.0);
}

TEST(Render, ReleaseStartsWhereTheHoldLeftOff) {
  // The loop (0.2 .. 1.0 s) ramps up, steps up a little at 0.6 s and ramps
  // down to its start value; the release fades out by 1.5 s. Wherever the
  // hold ends, the release must not jump to the loop end's level.
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  setEnvelope(voice->sets[1].amplitudeEnvelopes[0],
              {{0.0f, 0.1f}, {0.2f, 0.1f}, {0.6f, 0.4f}, {0.6f, 0.5f}, {1.0f, 0.1f}, {1.5f, 0.0f}});
  voice->loopStart = 0.2f;
  voice->loopEnd = 1.0f;
  const double ownStep = largestStep(windowLevels(render(*voice, 0.8, 400.0).samples, 1.0, 1.8));
  EXPECT_GT(ownStep, 0.03);  // the step inside the loop is heard
  for (double hold : {0.3, 0.4, 0.55, 0.8, 1.0, 2.45}) {
    const RenderedAudio audio = render(*voice, hold, 400.0);
    const double release = 1.0 + hold;
    EXPECT_LT(largestStep(windowLevels(audio.samples, release - 0.05, release + 0.05)), ownStep)
        << hold;
    EXPECT_LT(peakBetween(audio.samples, 1.49 + hold, 1.5 + hold), 0.012) << hold;  // faded out
  }
}

TEST(Render, TheWholeReleaseSounds) {
  // Quiet in the loop (0.2 .. 0.4 s), loud in the release until 1.4 s.
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  setEnvelope(voice->sets[1].amplitudeEnvelopes[0],
              {{0.0f, 0.1f}, {0.4f, 0.1f}, {0.6f, 0.6f}, {1.4f, 0.6f}});
  voice->loopStart = 0.2f;
  voice->loopEnd = 0.4f;
  for (double hold : {0.25, 3.0}) {  // shorter and longer than the release
    const RenderedAudio audio = render(*voice, hold);
    ASSERT_EQ(audio.samples.size(), static_cast<std::size_t>((1.4 + hold) * kRate)) << hold;
    EXPECT_NEAR(peakBetween(audio.samples, 0.25, 0.4 + hold), 0.1, 0.002) << hold;
    EXPECT_NEAR(peakBetween(audio.samples, 0.6 + hold, 1.4 + hold), 0.6, 0.002) << hold;
    EXPECT_GT(peakBetween(audio.samples, 1.39 + hold, 1.4 + hold), 0.59) << hold;
  }
}

TEST(Render, AKeyLetGoReleasesAtOnceFromWhereTheVoiceStands) {
  // Rising over the attack to 2.7 s, looping 2.7 .. 9.6 s, released in 0.3 s.
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  setEnvelope(voice->sets[1].amplitudeEnvelopes[0],
              {{0.0f, 0.0f}, {2.7f, 0.81f}, {9.6f, 0.81f}, {9.9f, 0.0f}});
  voice->loopStart = 2.7f;
  voice->loopEnd = 9.6f;
  const auto gated = [&voice](double gate) {
    RenderSettings settings;
    settings.gateSeconds = gate;
    settings.normalize = false;
    return renderVoice(*voice, settings).samples;
  };
  const std::vector<float> tap = gated(1.0);
  ASSERT_EQ(tap.size(), static_cast<std::size_t>(1.3 * kRate));
  const std::vector<float> held = gated(12.0);
  ASSERT_EQ(held.size(), static_cast<std::size_t>(12.3 * kRate));
  EXPECT_TRUE(std::equal(tap.begin(), tap.begin() + kRate, held.begin()));
  // From 0.3 at 1 s down to silence in a straight line.
  EXPECT_NEAR(peakBetween(tap, 1.0, 1.01), 0.3, 0.005);
  EXPECT_NEAR(peakBetween(tap, 1.15, 1.16), 0.15, 0.005);
  EXPECT_LT(peakBetween(tap, 1.29, 1.3), 0.011);
  // Let go past the loop end, it is the hold that lasts as long.
  const std::vector<float> hold = render(*voice, 12.0 - static_cast<double>(9.6f)).samples;
  ASSERT_EQ(hold.size(), held.size());
  for (std::size_t i = 0; i < held.size(); i += 97) {
    ASSERT_NEAR(held[i], hold[i], 1e-6) << i;
  }
}

TEST(Render, SilenceStaysSilentAndLevelsAreSetOrClipped) {
  auto voice = oneHarmonic(5, 0.0f, 1.0f);
  RenderSettings settings;
  const RenderedAudio silent = renderVoice(*voice, settings);
  EXPECT_TRUE(std::all_of(silent.samples.begin(), silent.samples.end(),
                          [](float sample) { return sample == 0.0f; }));
  EXPECT_EQ(silent.peak, 0.0);
  EXPECT_EQ(silent.gain, 1.0);

  // Every harmonic at full amplitude: far beyond full scale.
  for (int h = 0; h < 64; ++h) {
    for (Envelope* envelope : {&voice->sets[1].amplitudeEnvelopes[h]}) {
      envelope->count = 2;
      envelope->times[1] = 1.0f;
      envelope->values[0] = envelope->values[1] = 1.0f;
    }
  }
  const RenderedAudio normalized = renderVoice(*voice, settings);
  EXPECT_GT(normalized.peak, 10.0);
  EXPECT_NEAR(toDecibels(peakBetween(normalized.samples, 0.0, 3.0)), kNormalizedPeakDb, 1e-5);
  EXPECT_FALSE(normalized.clipped);
  settings.normalize = false;
  const RenderedAudio clipped = renderVoice(*voice, settings);
  EXPECT_TRUE(clipped.clipped);
  EXPECT_EQ(clipped.gain, 1.0);
  EXPECT_EQ(peakBetween(clipped.samples, 0.0, 3.0), 1.0);
}

TEST(Render, RefusesWhatItCannotRender) {
  auto voice = oneHarmonic(1, 0.5f, 1.0f);
  RenderSettings settings;
  EXPECT_EQ(renderProblem(*voice, settings), "");
  settings.sampleRate = 100;
  EXPECT_NE(renderProblem(*voice, settings), "");
  EXPECT_TRUE(renderVoice(*voice, settings).samples.empty());
  settings = RenderSettings{};
  voice->sets[1].amplitudeEnvelopes[0].times[1] = 1e9f;  // a voice of 30 years
  EXPECT_NE(renderProblem(*voice, settings).find("the preview would last"), std::string::npos);
  // The longest hold at the highest rate: written piece by piece, so taken.
  voice->sets[1].amplitudeEnvelopes[0].times[1] = 1.0f;
  settings.holdSeconds = kMaxHoldSeconds;
  settings.sampleRate = kMaxSampleRate;
  EXPECT_EQ(renderProblem(*voice, settings), "");
}

// Every path this processor has turns a bank of no whole number of lane groups
// (each grouping of vectors the paths use, and a rest), over runs longer than one pass and with
// some frequencies changed between them (phases put back to a magnitude of 1), to the very same
// samples as the scalar path.
TEST(Render, VectorOscillatorsMatchTheScalarOnes) {
  using Path = OscillatorBank::Path;
  constexpr std::size_t kCount = 85;
  constexpr int kRun = 300;
  std::vector<float> expected;
  for (Path path : {Path::kScalar, Path::kSse2, Path::kAvx2, Path::kAvx512}) {
    if (!OscillatorBank::supports(path)) {
      continue;
    }
    auto bank = std::make_unique<OscillatorBank>(kCount);
    std::vector<float> samples;
    for (std::size_t i = 0; i < kCount; ++i) {
      bank->setAmplitudeRamp(i, 0.1, 0.5 / static_cast<double>(i + 1), kRun);
    }
    for (std::size_t run = 1; run <= 8; ++run) {
      for (std::size_t i = 0; i < kCount; i += run % 3 + 1) {
        bank->setFrequency(i, 0.01 * static_cast<double>((i + 1) * (run + 4)));
      }
      samples.resize(samples.size() + kRun);
      bank->run(samples.data() + samples.size() - kRun, kRun, path);
    }
    if (expected.empty()) {
      expected = samples;
    }
    EXPECT_TRUE(samples == expected) << "path " << static_cast<int>(path);
  }
}

// A sampler keeps the segment it last read; reading forward, back round a
// loop, on breakpoints and past the end must give what a fresh one reads.
TEST(Render, EnvelopeReadingsDoNotDependOnTheOnesBefore) {
  Envelope envelope{};
  const float times[] = {0.0f, 0.5f, 0.75f, 2.0f, 3.0f};
  const float values[] = {0.25f, 1.0f, 1e-30f, 0.6f, 0.1f};
  envelope.count = 5;
  std::copy(std::begin(times), std::end(times), envelope.times);
  std::copy(std::begin(values), std::end(values), envelope.values);
  EnvelopeSampler reused(envelope, 0.0);
  for (const double time :
       {0.0, 0.3, 0.5, 0.6, 0.7, 0.75, 1.0, 2.0, 2.5, 0.6, 0.75, 2.9, 3.0, 4.0, 0.1, 0.5}) {
    EnvelopeSampler fresh(envelope, 0.0);
    EXPECT_EQ(reused.valueAt(time), fresh.valueAt(time)) << time;
  }
}

TEST(Render, PiecesMakeTheSamePreviewInBoundedMemory) {
  auto voice = oneHarmonic(3, 0.5f, 4.0f);
  voice->loopStart = 1.0f;
  voice->loopEnd = 1.3f;
  RenderSettings settings;
  std::vector<float> joined;
  std::size_t largestPiece = 0;
  ASSERT_TRUE(renderVoicePieces(*voice, settings, [&](const float* samples, std::size_t count) {
    largestPiece = std::max(largestPiece, count);
    joined.insert(joined.end(), samples, samples + count);
    return true;
  }));
  const RenderedAudio whole = renderVoice(*voice, settings);
  ASSERT_EQ(joined.size(), static_cast<std::size_t>(renderedSampleCount(*voice, settings)));
  ASSERT_EQ(joined.size(), whole.samples.size());
  EXPECT_LE(largestPiece, std::size_t{1} << 16);
  EXPECT_TRUE(applyPreviewGain(joined.data(), joined.size(), whole.gain, true) == false &&
              joined == whole.samples);
  // A sink that stops stops the rendering.
  std::size_t pieces = 0;
  EXPECT_FALSE(
      renderVoicePieces(*voice, settings, [&](const float*, std::size_t) { return ++pieces < 2; }));
  EXPECT_EQ(pieces, 2u);
}

TEST(Render, PreviewFilesHeldWholeAndStreamedAreTheSame) {
  auto voice = oneHarmonic(3, 0.5f, 4.0f);
  voice->loopStart = 1.0f;
  voice->loopEnd = 1.3f;
  voice->sets[1].amplitudeEnvelopes[2].values[1] = 3.0f;  // beyond full scale
  TempDir dir;
  for (const bool normalize : {true, false}) {
    RenderSettings settings;
    settings.normalize = normalize;
    PreviewFile held;
    PreviewFile streamed;
    std::string problem;
    ASSERT_TRUE(
        writePreviewFile(*voice, settings, dir.file("held.wav"), AudioFormat::Wav, held, problem));
    ASSERT_TRUE(writePreviewFile(*voice, settings, dir.file("streamed.wav"), AudioFormat::Wav,
                                 streamed, problem, 0));
    EXPECT_TRUE(readFileBytes(dir.file("held.wav")) == readFileBytes(dir.file("streamed.wav")));
    EXPECT_EQ(held.samples, renderedSampleCount(*voice, settings));
    EXPECT_TRUE(held.samples == streamed.samples && held.peak == streamed.peak &&
                held.gain == streamed.gain && held.clipped == streamed.clipped);
    EXPECT_EQ(held.clipped, !normalize);
    EXPECT_GT(held.peak, 1.0);
  }
}

TEST(Render, WavHolds24BitSamplesOfThePreview) {
  const RenderedAudio audio = renderVoice(*oneHarmonic(2, 0.25f, 0.5f), RenderSettings{});
  const std::string wav = encodeWav(audio);
  ASSERT_EQ(wav.substr(0, 4), "RIFF");
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("p.wav"), wav));
  SF_INFO info{};
  SNDFILE* file = sf_open(dir.file("p.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  EXPECT_EQ(info.samplerate, 48000);
  ASSERT_EQ(info.frames, static_cast<sf_count_t>(audio.samples.size()));
  std::vector<float> back(audio.samples.size());
  EXPECT_EQ(sf_readf_float(file, back.data(), info.frames), info.frames);
  sf_close(file);
  for (std::size_t n = 0; n < back.size(); ++n) {
    ASSERT_NEAR(back[n], audio.samples[n], 1.0 / (1 << 23)) << n;
  }
}

TEST(NoteNames, SpellEqualTemperamentFromC1ToG9) {
  const struct {
    const char* name;
    double hertz;
  } notes[] = {{"A4", 440.0},       {"a4", 440.0},       {"A3", 220.0},
               {"C4", 261.625565},  {"B#3", 261.625565}, {"Bb3", 233.081881},
               {"A#3", 233.081881}, {"C-1", 8.175799},   {"G9", 12543.853951}};
  for (const auto& note : notes) {
    double hertz = 0;
    EXPECT_TRUE(noteFrequency(note.name, hertz)) << note.name;
    EXPECT_NEAR(hertz, note.hertz, 1e-5) << note.name;
  }
  for (const char* wrong : {"", "C", "H4", "G#9", "Cb-1", "C10", "A4x", "A-2", "#4", "Ab"}) {
    double hertz = 0;
    EXPECT_FALSE(noteFrequency(wrong, hertz)) << wrong;
  }
}
