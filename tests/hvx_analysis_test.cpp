// hvx analyze: pitch, harmonic levels and frequencies measured from sounds
// made here with known content, and a picture's round trip through tonepix.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "hvx/analysis/analysis_picture.h"
#include "hvx/analysis/analysis_voice.h"
#include "hvx/analysis/harmonic_track.h"
#include "hvx/analysis/note_parts.h"
#include "hvx/analysis/pitch.h"
#include "hvx/analysis/sustain_loop.h"
#include "hvx/audio/voice_render.h"
#include "hvx/voice/voice_file.h"
#include "image/bitmap_format.h"
#include "image/bitmap_writer.h"
#include "test_support.h"
#include "voice/voice_layout.h"

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
  const SustainLoop loop = placeLoop(frames, LoopBounds{0.3, 1.4, true});
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
  const Sound string = additive(48000, 1.0, 40, stretched);
  expectMeasured(string, 110.0, 0.05, stretched, 40);
  // A picture plays them at exact ratios, at the pitch where they hold the
  // most (pulled sharp, as far as 10 cents): the low ones whole, those off
  // their places as much as the window hears there.
  const HarmonicFrames measured = trackHarmonics(string, 110.0, 0.05, 19);
  const double window = analysisWindowSeconds(110.0, 48000);
  const double played = pictureReference(measured, 2, 16, 110.0, window);
  EXPECT_GT(cents(played, 110.0 * std::sqrt(1.0 + 4e-4)), 5.0);
  EXPECT_LE(cents(played, 110.0), 10.0 + 1e-6);
  const HarmonicFrames exact = trackHarmonics(string, 110.0, 0.05, 19, 0.0, played);
  for (int n = 1; n <= 14; ++n) {
    double hertz = 0, amplitude = 0;
    stretched(n, 0.0, hertz, amplitude);
    const double heard = amplitude * levelAtOffset(hertz - n * played, window);
    EXPECT_NEAR(exact.amplitudeAt(9, n - 1), heard, 0.05 * amplitude) << n;
  }
  EXPECT_NEAR(decibels(exact.amplitudeAt(9, 2), 0.2 / 3), 0.0, 0.5);
  EXPECT_LT(exact.amplitudeAt(9, 13), 0.1 * 0.2 / 14);

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

TEST(Analyze, PictureRowsAreTheFinestThatStartTonepixsLoopAfterTheAttack) {
  NoteParts parts;
  parts.body = true;
  parts.attackEnd = 0.2;
  parts.noteEnd = 3.0;
  EXPECT_EQ(tonepixTiming(pictureTiming(parts, 0.0)), "-b1000");
  // A long attack: coarser rows, until the loop (a quarter in) starts after it.
  parts.noteEnd = 1.2;
  parts.attackEnd = 0.39;
  const PictureTiming timing = pictureTiming(parts, 0.0);
  EXPECT_GE((timing.rows / 4 + 1) * timing.interval, 0.39);
  const PictureTiming finer = pictureTiming(parts, 0.0, timing.bpm + 1);
  EXPECT_LT((finer.rows / 4 + 1) * finer.interval, 0.39);
  parts.attackEnd = 0.5;  // inside it at any tempo: 0.1 s, as before
  EXPECT_EQ(tonepixTiming(pictureTiming(parts, 0.0)), "-b600");
  // Too long for 126 rows at 0.06 s: the tempo that holds it, then -i.
  parts.attackEnd = 0.2;
  parts.noteEnd = 9.9;
  EXPECT_EQ(tonepixTiming(pictureTiming(parts, 0.0)), "-b757");
  parts.noteEnd = 20.0;
  EXPECT_EQ(tonepixTiming(pictureTiming(parts, 0.0)), "-i0.16");
  EXPECT_EQ(tonepixTiming(pictureTiming(parts, 0.1)), "-b600");
  EXPECT_EQ(tonepixTiming(pictureTiming(parts, 0.0, 120)), "-b120");
}

namespace {

// A note of eight harmonics of 220 Hz, its level `shape(t)` (1 full).
Sound shapedNote(double seconds, const std::function<double(double)>& shape) {
  return additive(48000, seconds, 8, [&shape](int n, double t, double& hertz, double& amplitude) {
    hertz = 220.0 * n;
    amplitude = 0.3 / n * shape(t);
  });
}

double ramp(double t, double from, double to) {
  return std::clamp((t - from) / (to - from), 0.0, 1.0);
}
// A level wavering 1 dB either way five times a second, as a bowed note may.
double tremolo(double t) { return std::pow(10.0, std::sin(kTwoPi * 5.0 * t) / 20.0); }

struct MadeUpNote {
  const char* name;
  double seconds;
  std::function<double(double)> shape;
  double onset, noteEnd;       // as made
  double bodyFrom, bodyLevel;  // the loop lies after bodyFrom, its level at bodyLevel at least
  bool body;
  double bodyTop = 1.2;  // and at most this
};

}  // namespace

TEST(AnalyzeNote, FindsTheNotesPartsAndLoopsOnItsBody) {
  const double kInterval = 0.05;
  const MadeUpNote notes[] = {
      {"slow attack, steady body, decay", 3.3,
       [](double t) { return ramp(t, 0.3, 0.8) * (1.0 - ramp(t, 2.3, 2.8)); }, 0.3, 2.3, 0.8, 1.0,
       true},
      {"a quiet middle between two loud parts", 4.0,
       [](double t) {
         const double loud = t < 1.3 || t >= 2.3 ? tremolo(t) : 0.25;
         return ramp(t, 0.2, 0.3) * loud * (1.0 - ramp(t, 3.3, 3.6));
       },
       0.2, 3.3, 0.3, 0.85, true},
      {"steady only at the end", 3.7,
       [](double t) {
         return ramp(t, 0.2, 0.4) * 0.1 * std::pow(10.0, ramp(t, 0.4, 2.4)) *
                (1.0 - ramp(t, 3.0, 3.3));
       },
       0.2, 3.0, 2.35, 0.85, true},
      {"a loud steady start before a wavering body", 3.7,
       [](double t) {
         return ramp(t, 0.1, 0.15) * (t < 0.7 ? 2.0 : tremolo(t)) * (1.0 - ramp(t, 3.1, 3.4));
       },
       0.1, 3.1, 0.7, 0.85, true},
      {"a slow decay, then a fast one", 3.0,
       [](double t) {
         const double after = std::max(0.0, t - 0.12);
         return ramp(t, 0.1, 0.12) *
                std::pow(10.0,
                         -(2.5 * std::min(after, 1.0) + 20.0 * std::max(0.0, after - 1.0)) / 20.0);
       },
       0.1, 2.495, 2.2, 0.0, false},
      {"a pure decay", 3.4,
       [](double t) { return ramp(t, 0.1, 0.11) * std::pow(10.0, -std::max(0.0, t - 0.11)); },
       // The note ends, and loops, where it is 30 dB down.
       0.1, 1.61, 1.3, 0.0, false},
  };
  for (const MadeUpNote& note : notes) {
    SCOPED_TRACE(note.name);
    const Sound sound = shapedNote(note.seconds, note.shape);
    const NoteParts parts = findNoteParts(sound, 220.0);
    EXPECT_EQ(parts.body, note.body);
    EXPECT_NEAR(parts.onset, note.onset, kInterval);
    EXPECT_NEAR(parts.noteEnd, note.noteEnd, kInterval);
    const HarmonicFrames frames =
        trackHarmonics(sound, 220.0, kInterval,
                       pointsFitting(parts.end - parts.onset, kInterval, 127), parts.onset);
    const SustainLoop loop = placeLoop(
        frames, LoopBounds{parts.attackEnd - parts.onset, parts.noteEnd - parts.onset, parts.body});
    const double start = parts.onset + loop.start * kInterval;
    const double end = parts.onset + loop.end * kInterval;
    EXPECT_EQ(loop.onBody, note.body);
    EXPECT_GE(start, note.bodyFrom - kInterval);
    EXPECT_LE(end, note.noteEnd + kInterval);
    EXPECT_LE(end, parts.noteEnd + 1e-9);
    EXPECT_GE(end - start, note.body ? 0.1 - 1e-9 : kInterval);
    for (int p = loop.start; p <= loop.end; ++p) {
      EXPECT_GE(note.shape(parts.onset + p * kInterval), note.bodyLevel) << p;
      EXPECT_LE(note.shape(parts.onset + p * kInterval), note.bodyTop) << p;
    }
    if (!note.body) {
      EXPECT_NEAR(end, note.noteEnd, kInterval);  // late in the decay
    }
    // The voice: loudest at the ceiling, every harmonic silent at its end.
    auto voice = std::make_unique<Voice>();
    buildAnalysisVoice(frames, 220.0, loop, 0.4, "note", *voice);
    float loudest = 0;
    for (const Envelope& level : voice->sets[voiceSlot(0, 0, 1)].amplitudeEnvelopes) {
      ASSERT_GT(level.count, 1);
      EXPECT_EQ(level.values[level.count - 1], 0.0f);
      loudest = std::max(loudest, *std::max_element(level.values, level.values + level.count));
    }
    EXPECT_FLOAT_EQ(loudest, 0.4f);
  }
}

TEST(AnalyzeNote, APitchIsHeardInAQuarterOfTheLoudTimeAndNotInAConstant) {
  // Noise, then a note as loud, the note taking a share of the time.
  for (const double share : {0.2, 0.3, 0.6}) {
    Sound sound =
        shapedNote(2.0, [share](double t) { return t >= 2.0 * (1.0 - share) ? 1.0 : 0.0; });
    std::uint32_t state = 11;
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
      if (static_cast<double>(i) < 2.0 * (1.0 - share) * 48000.0) {
        state = state * 1664525u + 1013904223u;
        sound.samples[i] = 0.6f * (static_cast<float>(state >> 8) / 16777216.0f - 0.5f);
      }
    }
    if (share < 0.25) {
      EXPECT_EQ(soundPitch(sound), 0.0) << share;
    } else {
      EXPECT_NEAR(cents(soundPitch(sound), 220.0), 0.0, 20.0) << share;
    }
  }
  Sound constant = shapedNote(1.0, [](double) { return 0.0; });
  std::fill(constant.samples.begin(), constant.samples.end(), 0.25f);
  EXPECT_EQ(soundPitch(constant), 0.0);
}

TEST(AnalyzeNote, OneToneInStereoReadsAsItsMono) {
  // 16-bit WAV files of the same tone, one channel and two alike.
  const auto wav = [](int channels) {
    const auto le = [](std::uint32_t value, int bytes) {
      std::string out;
      for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
      }
      return out;
    };
    std::string data;
    for (int i = 0; i < 24000; ++i) {
      const auto sample =
          static_cast<std::int16_t>(std::lround(9000.0 * std::sin(kTwoPi * 220.0 * i / 48000.0) +
                                                3000.0 * std::sin(kTwoPi * 660.0 * i / 48000.0)));
      for (int c = 0; c < channels; ++c) {
        data += le(static_cast<std::uint16_t>(sample), 2);
      }
    }
    const auto block = static_cast<std::uint32_t>(2 * channels);
    return "RIFF" + le(static_cast<std::uint32_t>(36 + data.size()), 4) + "WAVEfmt " + le(16, 4) +
           le(1, 2) + le(static_cast<std::uint32_t>(channels), 2) + le(48000, 4) +
           le(48000 * block, 4) + le(block, 2) + le(16, 2) + "data" +
           le(static_cast<std::uint32_t>(data.size()), 4) + data;
  };
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("mono.wav"), wav(1)));
  ASSERT_TRUE(writeFileBytes(dir.file("stereo.wav"), wav(2)));
  Sound mono, stereo;
  std::string error;
  ASSERT_TRUE(readSoundFile(dir.file("mono.wav"), SoundRequest{}, mono, error)) << error;
  ASSERT_TRUE(readSoundFile(dir.file("stereo.wav"), SoundRequest{}, stereo, error)) << error;
  EXPECT_EQ(stereo.channels, 2);
  EXPECT_EQ(mono.samples, stereo.samples);
  EXPECT_NEAR(cents(notePitch(stereo), 220.0), 0.0, 5.0);
}

namespace {

// RMS levels in dB over 0.2 s windows, 0.05 s apart, from `from` to `to`
// seconds: a dip or a silence, not a tremolo.
std::vector<double> heldLevels(const std::vector<float>& samples, int rate, double from,
                               double to) {
  const auto window = static_cast<std::size_t>(0.2 * rate);
  std::vector<double> levels;
  for (auto at = static_cast<std::size_t>(from * rate);
       at + window <= std::min(samples.size(), static_cast<std::size_t>(to * rate));
       at += window / 4) {
    double sum = 0;
    for (std::size_t i = at; i < at + window; ++i) {
      sum += static_cast<double>(samples[i]) * static_cast<double>(samples[i]);
    }
    levels.push_back(10.0 * std::log10(std::max(sum / static_cast<double>(window), 1e-20)));
  }
  return levels;
}

}  // namespace

TEST(AnalyzeNote, AHeldNoteKeepsTheBodysLevelAsAVoiceAndThroughTonepix) {
  // Silence, an attack, a wavering body, a decay and silence again.
  const Sound sound = shapedNote(
      3.8, [](double t) { return ramp(t, 0.3, 0.6) * tremolo(t) * (1.0 - ramp(t, 3.1, 3.4)); });
  const NoteParts parts = findNoteParts(sound, 220.0);
  const std::vector<double> source = heldLevels(sound.samples, 48000, 0.7, 3.0);
  const double body = source[source.size() / 2];
  RenderSettings held;
  held.holdSeconds = 4;
  held.frequency = 220;
  held.normalize = false;
  const auto expectHeld = [](const std::vector<double>& levels, double level) {
    ASSERT_FALSE(levels.empty());
    for (double value : levels) {
      EXPECT_GT(value, level - 6.0);  // no dip, no silence
      EXPECT_LT(value, level + 4.0);
    }
  };

  const HarmonicFrames fine = trackHarmonics(
      sound, 220.0, 0.05, pointsFitting(parts.end - parts.onset, 0.05, 127), parts.onset);
  const SustainLoop loop = placeLoop(
      fine, LoopBounds{parts.attackEnd - parts.onset, parts.noteEnd - parts.onset, parts.body});
  auto voice = std::make_unique<Voice>();
  const double gain = buildAnalysisVoice(fine, 220.0, loop, 0.4, "held", *voice);
  expectHeld(heldLevels(renderVoice(*voice, held).samples, 48000, loop.start * 0.05,
                        loop.end * 0.05 + 4.0),
             body + 20.0 * std::log10(gain));

  // The picture: tonepix's loop, a quarter in, on the body; its level
  // against the rows before the loop.
  const PictureTiming timing = pictureTiming(parts, 0.0);
  ASSERT_EQ(tonepixTiming(timing), "-b1000");  // the finest rows
  const HarmonicFrames rows =
      trackAveragedHarmonics(sound, 220.0, timing.interval, timing.rows, parts.onset);
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("held.bmp"), analysisBitmap(rows)));
  ASSERT_EQ(runTonepix({"-f0", tonepixTiming(timing), "held.bmp"}, dir.path()).status, 0);
  std::string problem;
  ASSERT_TRUE(loadVoiceFile(dir.file("held.hvx"), *voice, problem)) << problem;
  const std::vector<float> played = renderVoice(*voice, held).samples;
  const double loopStart = (timing.rows / 4 + 1) * timing.interval;
  const std::vector<double> before = heldLevels(played, 48000, 0.35, loopStart);
  expectHeld(heldLevels(played, 48000, loopStart, timing.rows * timing.interval + 4.0),
             before[before.size() / 2]);
}
