#include "hvx/analysis/analysis_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/number_text.h"
#include "hvx/picture/prepared_name.h"
#include "image/bitmap_writer.h"

std::string analysisBitmap(const HarmonicFrames& frames) {
  const int rows = std::min(frames.points, kMaxAnalysisRows);
  const float loudest = loudestAmplitude(frames, rows);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(rows * kPictureWidth), 0);
  if (loudest > 0.0f) {
    for (int p = 0; p < rows; ++p) {
      for (int h = 0; h < kAnalysedHarmonics; ++h) {
        const double level = 255.0 * frames.amplitudeAt(p, h) / loudest;
        pixels[static_cast<std::size_t>(p * kPictureWidth + h)] =
            static_cast<std::uint8_t>(std::clamp(std::lround(level), 0L, 255L));
      }
    }
  }
  std::string bytes = makeBitmap(kPictureWidth, rows, pixels);
  stampBitmap(bytes);
  return bytes;
}

namespace {

// tonepix's tempo range; 600 beats a minute are its finest -i, 0.1 s.
constexpr int kFastestBpm = 1000;
constexpr int kBpmAtFinestInterval = 600;
constexpr double kFinestInterval = 0.1;

PictureTiming timedRows(double drawn, double interval, int bpm) {
  PictureTiming timing;
  timing.interval = static_cast<double>(static_cast<float>(interval));
  timing.rows = pointsFitting(drawn, timing.interval, kMaxAnalysisRows);
  timing.cut = drawn > (kMaxAnalysisRows - 1) * timing.interval + 1e-9;
  timing.bpm = bpm;
  return timing;
}

}  // namespace

PictureTiming pictureTiming(const NoteParts& parts, double givenInterval, int givenBpm) {
  constexpr double kStep = 0.01;
  constexpr double kCoarsest = 8.0;
  const double drawn = (parts.body ? parts.noteEnd : parts.end) - parts.onset;
  if (givenBpm > 0) {
    return timedRows(drawn, 60.0 / static_cast<double>(givenBpm), givenBpm);
  }
  if (givenInterval > 0.0) {
    return timedRows(drawn, givenInterval, 0);
  }
  const double fitting = drawn / (kMaxAnalysisRows - 1);
  const PictureTiming coarse = timedRows(
      drawn, std::clamp(std::ceil(fitting / kStep - 1e-9) * kStep, kFinestInterval, kCoarsest), 0);
  // Finer rows follow an attack and a tremolo closer; they are taken only
  // while the loop still starts after the attack, as it does at 0.1 s.
  const double attack = parts.attackEnd - parts.onset;
  const auto loopsAfterAttack = [attack](const PictureTiming& timing) {
    return static_cast<double>(timing.rows / 4 + 1) * timing.interval >= attack - 1e-9;
  };
  for (int bpm = kFastestBpm; bpm > kBpmAtFinestInterval; --bpm) {
    const PictureTiming fine = timedRows(drawn, 60.0 / static_cast<double>(bpm), bpm);
    if (!fine.cut && loopsAfterAttack(fine)) {
      return fine;
    }
  }
  return coarse;
}

std::string tonepixTiming(const PictureTiming& timing) {
  if (timing.bpm > 0) {
    return "-b" + std::to_string(timing.bpm);
  }
  // The fewest digits that tonepix reads back as the same single-precision
  // interval: "-i0.24", not "-i0.239999995".
  char text[32];
  const auto stored = static_cast<float>(timing.interval);
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "-i%.*g", digits, timing.interval);
    if (static_cast<float>(readDecimal(text + 2)) == stored) {
      break;
    }
  }
  // tonepix reads "0.1" as just below its own lower bound and says so; 600
  // beats a minute are the same 0.1 s without the warning.
  if (std::atof(text + 2) < static_cast<double>(static_cast<float>(kFinestInterval))) {
    return "-b" + std::to_string(kBpmAtFinestInterval);
  }
  return text;
}

double pictureReference(const HarmonicFrames& frames, int first, int last, double fallback,
                        double windowSeconds) {
  // Stretched partials (a piano's) would pull the whole note sharp if they
  // were all matched: it stays within a few cents of the fundamental.
  constexpr double kMostCents = 10.0;
  constexpr double kStepCents = 0.5;
  const auto heard = [&](double pitch) {
    double energy = 0.0;
    for (int p = std::max(0, first); p <= std::min(last, frames.points - 1); ++p) {
      for (int h = 0; h < kAnalysedHarmonics; ++h) {
        const double offset =
            static_cast<double>(frames.frequencyAt(p, h)) - pitch * static_cast<double>(h + 1);
        const double level =
            static_cast<double>(frames.amplitudeAt(p, h)) * levelAtOffset(offset, windowSeconds);
        energy += level * level;
      }
    }
    return energy;
  };
  double best = fallback;
  double most = 0.0;
  // Outwards from the fundamental's pitch (of equals, the nearest), then
  // finer around the best.
  const auto search = [&](double around, double stepCents, int steps) {
    const double centre = best;
    for (int step = 0; step <= 2 * steps; ++step) {
      const double cents =
          (step % 2 == 1 ? 1.0 : -1.0) * static_cast<double>((step + 1) / 2) * stepCents;
      const double pitch = centre * std::pow(2.0, cents / 1200.0);
      if (std::fabs(std::log2(pitch / around)) * 1200.0 > kMostCents + 1e-9) {
        continue;
      }
      const double energy = heard(pitch);
      if (energy > most) {
        most = energy;
        best = pitch;
      }
    }
  };
  search(fallback, kStepCents, static_cast<int>(kMostCents / kStepCents));
  search(fallback, kStepCents / 10.0, 10);
  return best;
}
