#include "hvx/analysis/sustain_loop.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The loop stays within 3 dB of the body's level, either way.
constexpr double kQuietestLoopLevel = 0.7079457843841379;
constexpr double kLoudestLoopLevel = 1.0 / kQuietestLoopLevel;
// The body's level: this share of its points are quieter, so that a quiet
// stretch between loud ones does not set it.
constexpr double kBodyQuantile = 0.75;
// A loop of at least this long, when the sound allows, so that holding a
// note does not buzz at the loop's rate.
constexpr double kShortestLoopSeconds = 0.1;
// Between loops that fit equally well, the longer one sounds less repetitive.
constexpr double kLengthPreference = 0.01;

double distance(const HarmonicFrames& frames, int p, int q) {
  double sum = 0.0;
  for (int h = 0; h < kAnalysedHarmonics; ++h) {
    const double d = static_cast<double>(frames.amplitudeAt(p, h)) - frames.amplitudeAt(q, h);
    sum += d * d;
  }
  return std::sqrt(sum);
}

std::vector<double> pointLevels(const HarmonicFrames& frames) {
  std::vector<double> level(static_cast<std::size_t>(frames.points));
  for (int p = 0; p < frames.points; ++p) {
    double sum = 0.0;
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      sum += static_cast<double>(frames.amplitudeAt(p, h)) * frames.amplitudeAt(p, h);
    }
    level[static_cast<std::size_t>(p)] = std::sqrt(sum);
  }
  return level;
}

// Late in a decay: the shortest loop that ends at the note end.
SustainLoop decayLoop(int first, int last, int shortest) {
  return SustainLoop{std::max(first, last - shortest), last, false};
}

}  // namespace

SustainLoop placeLoop(const HarmonicFrames& frames, const LoopBounds& bounds) {
  const int n = frames.points;
  if (n < 4) {
    const int middle = std::max(0, (n - 1) / 2);
    return SustainLoop{middle, middle, false};
  }
  const std::vector<double> level = pointLevels(frames);
  // One point at least is left after the loop for the release.
  const int last =
      std::clamp(static_cast<int>(std::floor(bounds.noteEnd / frames.interval + 1e-9)), 1, n - 2);
  const int first =
      std::clamp(static_cast<int>(std::ceil(bounds.attackEnd / frames.interval - 1e-9)), 1, last);
  const int shortest =
      std::clamp(static_cast<int>(std::lround(kShortestLoopSeconds / frames.interval)), 1, n - 3);
  const double loudest = *std::max_element(level.begin(), level.end());
  if (!(loudest > 0.0)) {
    return SustainLoop{first, last, false};
  }
  if (!bounds.body) {
    return decayLoop(first, last, shortest);
  }
  std::vector<double> body(level.begin() + first, level.begin() + last + 1);
  const auto at = static_cast<std::size_t>(kBodyQuantile * static_cast<double>(body.size() - 1));
  std::nth_element(body.begin(), body.begin() + static_cast<long>(at), body.end());
  const double quietest = kQuietestLoopLevel * body[at];
  const double loudestAllowed = kLoudestLoopLevel * body[at];
  const auto outside = [&level, quietest, loudestAllowed](int p) {
    const double value = level[static_cast<std::size_t>(p)];
    return value < quietest || value > loudestAllowed;
  };
  // changeBefore[p]: how much the sound moves from point 0 to point p.
  std::vector<double> changeBefore(static_cast<std::size_t>(n), 0.0);
  for (int p = 1; p < n; ++p) {
    changeBefore[static_cast<std::size_t>(p)] =
        changeBefore[static_cast<std::size_t>(p - 1)] + distance(frames, p - 1, p) / loudest;
  }
  SustainLoop best{first, first, false};
  double bestCost = 1e300;
  int run = 0;  // the longest stretch of loud enough points, when no loop fits
  for (int a = first; a < last; ++a) {
    if (outside(a)) {
      continue;
    }
    for (int b = a + 1; b <= last; ++b) {
      if (outside(b)) {
        break;  // the loop holds no point off the body's level
      }
      if (b - a < shortest) {
        if (bestCost == 1e300 && b - a > run) {
          run = b - a;
          best = SustainLoop{a, b, true};
        }
        continue;
      }
      const double seam = distance(frames, a, b) / loudest;
      const double movement =
          (changeBefore[static_cast<std::size_t>(b)] - changeBefore[static_cast<std::size_t>(a)]) /
          (b - a);
      const double cost = seam + movement - kLengthPreference * (b - a) / n;
      if (cost < bestCost) {
        bestCost = cost;
        best = SustainLoop{a, b, true};
      }
    }
  }
  if (best.end == best.start) {
    return decayLoop(first, last, shortest);
  }
  return best;
}
