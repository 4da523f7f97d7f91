// hvx analyze: pitch, harmonic levels and frequencies measured from sounds
// made here with known content, and a picture's round trip through tonepix.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "hvx/analysis/analysis_picture.h"
#include "hvx/analysis/harmonic_track.h"
#include "hvx/analysis/pitch.h"
#include "hvx/analysis/sustain_loop.h"
#include "hvx/audio/voice_render.h"
#include "hvx/voice/voice_file.h"
#include "image/bitmap_format.h"
#include "image/bitmap_writer.h"
#include "test_support.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Frequency and amplitude of partial `n` (1-based) at time t.
using PartialAt = std::function<void(int n, double t, double& hertz, double& amplitude)>;

// A sound of `partials` sines, each phase the running sum of its frequency.
Sound additive(int rate, double seconds, int partials, const PartialAt& at) {
  Sound sound;
  sound.sampleRate = rate;
  sound.channels = 1;
  const auto count = static_cast<std::size_t>(seconds * rate);
  sound.samples.assign(count, 0.0f);
  sound.fileSeconds = seconds;
  for (int n = 1; n <= partials; ++n) {
    double phase = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
      double hertz = 0, amplitude = 0;
      at(n, static_cast<double>(i) / rate, hertz, amplitude);
      if (hertz < rate / 2.0) {
        sound.samples[i] += static_cast<float>(amplitude * std::sin(phase));
      }
      phase += kTwoPi * hertz / rate;
    }
  }
  return sound;
}

double cents(double measured, double expected) { return 1200.0 * std::log2(measured / expected); }
double decibels(double measured, double expected) { return 20.0 * std::log10(measured / expected); }

// Every harmonic above -40 dB at points away from the ends: its level within
// 1 dB and its frequency within 2 cents of what `at` made.
void expectMeasured(const Sound& sound, double pitch, double interval, const PartialAt& at,
                    int partials) {
  const int points = pointsFitting(sound.seconds(), interval, 127);
  const HarmonicFrames frames = trackHarmonics(sound, pitch, interval, points);
  for (int p = 2; p + 2 < points; ++p) {
    const double t = p * interval;
    double loudest = 0;
    for (int n = 1; n <= partials; ++n) {
      double hertz = 0, amplitude = 0;
      at(n, t, hertz, amplitude);
      loudest = std::max(loudest, amplitude);
    }
    for (int n = 1; n <= partials; ++n) {
      double hertz = 0, amplitude = 0;
      at(n, t, hertz, amplitude);
      if (hertz >= sound.sampleRate / 2.0) {
        EXPECT_EQ(frames.amplitudeAt(p, n - 1), 0.0f) << "harmonic " << n << " point " << p;
      } else if (amplitude > loudest * 0.01) {
        EXPECT_NEAR(decibels(frames.amplitudeAt(p, n - 1), amplitude), 0.0, 1.0)
            << "harmonic " << n << " point " << p;
        EXPECT_NEAR(cents(frames.frequencyAt(p, n - 1), hertz), 0.0, 2.0)
            << "harmonic " << n << " point " << p;
      }
    }
  }
}

// The pitch as hvx analyze names it.
double notePitch(const Sound& sound) { return refinePitch(sound, soundPitch(sound)); }

}  // namespace

TEST(Analyze, HarmonicSeriesGivesPitchLevelsAndRatios) {
  // Levels falling as 1/h^1.5 (the 20th at -39 dB), rising over 0.3 s, steady
  // to 1.4 s, then fading; a quarter of a semitone off A3.
  const double f0 = 220.0 * std::pow(2.0, 0.25 / 12.0);
  const PartialAt at = [f0](int n, double t, double& hertz, double& amplitude) {
    const double envelope = t < 0.3 ? t / 0.3 : t < 1.4 ? 1.0 : std::max(0.0, 1.0 - (t - 1.4));
    hertz = n * f0;
    amplitude = 0.3 / std::pow(n, 1.5) * envelope;
  };
  const Sound sound = additive(48000, 2.2, 20, at);
  EXPECT_NEAR(cents(notePitch(sound), f0), 0.0, 5.0);
  expectMeasured(sound, f0, 0.05, at, 20);
  // The loop sits on the steady stretch.
  const HarmonicFrames frames = trackHarmonics(sound, f0, 0.05, pointsFitting(2.2, 0.05, 127));
  const SustainLoop loop = steadiestLoop(frames);
  EXPECT_GE(loop.start * 0.05, 0.3);
  EXPECT_LE(loop.end * 0.05, 1.4);
  EXPECT_GT(loop.end - loop.start, 10);
}

TEST(Analyze, FollowsVibratoStretchedPartialsAndGlides) {
  const PartialAt vibrato = [](int n, double t, double& hertz, double& amplitude) {
    hertz = n * 330.0 * std::pow(2.0, 0.25 * std::sin(kTwoPi * 5.0 * t) / 12.0);
    amplitude = 0.2 / n;
  };
  const Sound wobbling = additive(48000, 1.5, 12, vibrato);
  EXPECT_NEAR(cents(notePitch(wobbling), 330.0), 0.0, 5.0);
  expectMeasured(wobbling, 330.0, 0.05, vibrato, 12);

  // A string's partials: each n-th a little above n times the fundamental.
  const PartialAt stretched = [](int n, double, double& hertz, double& amplitude) {
    hertz = n * 110.0 * std::sqrt(1.0 + 4e-4 * n * n);
    amplitude = 0.2 / n;
  };
  expectMeasured(additive(48000, 1.0, 40, stretched), 110.0, 0.05, stretched, 40);

  // A glide up a fifth over two seconds.
  const PartialAt chirp = [](int n, double t, double& hertz, double& amplitude) {
    hertz = n * 200.0 * std::pow(1.5, t / 2.0);
    amplitude = 0.2 / n;
  };
  expectMeasured(additive(48000, 2.0, 10, chirp), 245.0, 0.05, chirp, 10);
}

TEST(Analyze, HarmonicsPastNyquistAreSilentAndExtremeNotesAreFound) {
  // At 8 kHz, harmonics 4 and up of 1 kHz are at or past Nyquist.
  const PartialAt high = [](int n, double, double& hertz, double& amplitude) {
    hertz = n * 1000.0;
    amplitude = 0.2;
  };
  const Sound narrow = additive(8000, 1.0, 10, high);
  EXPECT_NEAR(cents(notePitch(narrow), 1000.0), 0.0, 5.0);
  expectMeasured(narrow, 1000.0, 0.1, high, 10);
  // E1 and A7.
  for (double f0 : {41.2034, 3520.0}) {
    const PartialAt at = [f0](int n, double, double& hertz, double& amplitude) {
      hertz = n * f0;
      amplitude = 0.3 / n;
    };
    const Sound sound = additive(48000, 1.5, 8, at);
    EXPECT_NEAR(cents(notePitch(sound), f0), 0.0, 5.0) << f0;
    expectMeasured(sound, f0, 0.1, at, 8);
  }
  // Silence and noise have no pitch.
  Sound quiet = additive(48000, 0.5, 0, high);
  EXPECT_EQ(soundPitch(quiet), 0.0);
  std::uint32_t state = 7;
  for (float& sample : quiet.samples) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
  }
  EXPECT_EQ(soundPitch(quiet), 0.0);
}

TEST(Analyze, PictureRoundTripThroughTonepixGivesBackItsRows) {
  constexpr int kRows = 24;
  std::vector<std::uint8_t> pixels(64 * kRows);
  for (int p = 0; p < kRows; ++p) {
    for (int h = 0; h < 64; ++h) {
      const double level = (0.7 + 0.3 * std::sin(p / 4.0 + h / 9.0)) / (1.0 + h / 4.0);
      pixels[static_cast<std::size_t>(p * 64 + h)] =
          static_cast<std::uint8_t>(std::lround(255.0 * level));
    }
  }
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("p.bmp"), makeBitmap(64, kRows, pixels)));
  ASSERT_EQ(runTonepix({"-f0", "-n100", "-b600", "p.bmp"}, dir.path()).status, 0);
  auto voice = std::make_unique<Voice>();
  std::string problem;
  ASSERT_TRUE(loadVoiceFile(dir.file("p.hvx"), *voice, problem)) << problem;
  RenderSettings settings;
  settings.holdSeconds = 0;
  settings.frequency = 220.0;
  const RenderedAudio audio = renderVoice(*voice, settings);
  Sound sound;
  sound.sampleRate = audio.sampleRate;
  sound.channels = 1;
  sound.samples = audio.samples;
  const HarmonicFrames frames = trackHarmonics(sound, 220.0, 0.1, kRows);
  const std::string bitmap = analysisBitmap(frames);
  ASSERT_EQ(bitmap.size(), kPixelDataOffset + pixels.size());
  int worst = 0;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const int got = static_cast<unsigned char>(bitmap[kPixelDataOffset + i]);
    worst = std::max(worst, std::abs(got - pixels[i]));
  }
  EXPECT_LE(worst, 3);
}
