#include "hvx/analysis/sustain_loop.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The loop stays where the sound is within 20 dB of its loudest point.
constexpr double kQuietestLoopLevel = 0.1;
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

}  // namespace

SustainLoop steadiestLoop(const HarmonicFrames& frames) {
  const int n = frames.points;
  if (n < 4) {
    const int middle = (n - 1) / 2;
    return SustainLoop{std::max(0, middle), std::max(0, middle)};
  }
  std::vector<double> level(static_cast<std::size_t>(n));
  for (int p = 0; p < n; ++p) {
    double sum = 0.0;
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      sum += static_cast<double>(frames.amplitudeAt(p, h)) * frames.amplitudeAt(p, h);
    }
    level[static_cast<std::size_t>(p)] = std::sqrt(sum);
  }
  const double loudest = *std::max_element(level.begin(), level.end());
  if (!(loudest > 0.0)) {
    return SustainLoop{1, n - 2};
  }
  // changeBefore[p]: how much the sound moves from point 0 to point p.
  std::vector<double> changeBefore(static_cast<std::size_t>(n), 0.0);
  for (int p = 1; p < n; ++p) {
    changeBefore[static_cast<std::size_t>(p)] =
        changeBefore[static_cast<std::size_t>(p - 1)] + distance(frames, p - 1, p) / loudest;
  }
  const int shortest =
      std::clamp(static_cast<int>(std::lround(kShortestLoopSeconds / frames.interval)), 1, n - 3);
  SustainLoop best{1, 1 + shortest};
  double bestCost = 1e300;
  for (int a = 1; a + shortest <= n - 2; ++a) {
    if (level[static_cast<std::size_t>(a)] < kQuietestLoopLevel * loudest) {
      continue;
    }
    for (int b = a + 1; b <= n - 2; ++b) {
      if (level[static_cast<std::size_t>(b)] < kQuietestLoopLevel * loudest) {
        break;  // the loop holds no quiet point
      }
      if (b - a < shortest) {
        continue;
      }
      const double seam = distance(frames, a, b) / loudest;
      const double movement =
          (changeBefore[static_cast<std::size_t>(b)] - changeBefore[static_cast<std::size_t>(a)]) /
          (b - a);
      const double cost = seam + movement - kLengthPreference * (b - a) / n;
      if (cost < bestCost) {
        bestCost = cost;
        best = SustainLoop{a, b};
      }
    }
  }
  return best;
}
