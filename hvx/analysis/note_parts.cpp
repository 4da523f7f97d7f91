#include "hvx/analysis/note_parts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Level readings this far apart, each over a window of kLevelWindow
// seconds or two periods of the note.
constexpr double kLevelHop = 0.005;
constexpr double kLevelWindow = 0.02;
// Below the loudest reading by this much is silence before and after.
constexpr double kOnsetBelowPeak = 40.0;
constexpr double kEndBelowPeak = 60.0;
// The level holds where it moves less than this many dB a second over
// kSteadySpan either side, within kBodyBelowPeak of the loudest reading.
constexpr double kSteadyDbPerSecond = 5.0;
constexpr double kSteadySpan = 0.2;
constexpr double kBodyBelowPeak = 10.0;
// A note with no body ends, and loops, where its decay has come down this far.
constexpr double kDecayBelowPeak = 30.0;
// A body falling faster than this, dB a second over its whole length, is a
// slow decay.
constexpr double kFallingBody = 2.0;
// Less steady time than this is no body.
constexpr double kShortestBody = 0.25;
// The body's level: this share of its steady readings lie below it, so that a
// quiet stretch between loud ones does not set it.
constexpr double kBodyQuantile = 0.75;
// How far below the body's level the attack ends and the note ends: the
// body's own spread, within these bounds.
constexpr double kLeastTolerance = 0.5;
constexpr double kMostTolerance = 3.0;
// A steady level this far below the body's is still the body.
constexpr double kSaggingBody = 6.0;

double quantile(std::vector<double> values, double share) {
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<long>(at), values.end());
  return values[at];
}

// The slope, in dB a second, of the straight line fitted to readings
// first..last; NaN (never steady, never falling) for fewer than two.
template <typename Seconds>
double fittedSlope(const std::vector<double>& level, long first, long last, Seconds seconds) {
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (long q = first; q <= last; ++q) {
    const double x = seconds(q);
    const double y = level[static_cast<std::size_t>(q)];
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  const auto n = static_cast<double>(last - first + 1);
  const double denominator = n * sxx - sx * sx;
  return denominator > 0.0 ? (n * sxy - sx * sy) / denominator
                           : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

NoteParts findNoteParts(const Sound& sound, double pitch) {
  NoteParts parts;
  const double rate = static_cast<double>(sound.sampleRate);
  const auto count = static_cast<long>(sound.samples.size());
  const long hop = std::max(1L, std::lround(kLevelHop * rate));
  const double windowSeconds = std::max(kLevelWindow, pitch > 0.0 ? 2.0 / pitch : 0.0);
  const long half = std::max(1L, std::lround(windowSeconds * rate / 2.0));
  // Running sums of squares make every window cost the same.
  std::vector<double> sums(static_cast<std::size_t>(count + 1), 0.0);
  for (long i = 0; i < count; ++i) {
    const auto s = static_cast<double>(sound.samples[static_cast<std::size_t>(i)]);
    sums[static_cast<std::size_t>(i + 1)] = sums[static_cast<std::size_t>(i)] + s * s;
  }
  std::vector<double> level;  // dB, reading r centred on sample r * hop
  for (long centre = 0; centre < count; centre += hop) {
    const long first = std::max(0L, centre - half);
    const long last = std::min(count, centre + half);
    const double mean =
        (sums[static_cast<std::size_t>(last)] - sums[static_cast<std::size_t>(first)]) /
        static_cast<double>(std::max(1L, last - first));
    level.push_back(10.0 * std::log10(std::max(mean, 1e-20)));
  }
  const auto readings = static_cast<long>(level.size());
  const auto seconds = [hop, rate](long r) { return static_cast<double>(r * hop) / rate; };
  parts.end = sound.seconds();
  if (readings == 0) {
    return parts;
  }
  const double peak = *std::max_element(level.begin(), level.end());
  const auto peakAt =
      static_cast<long>(std::max_element(level.begin(), level.end()) - level.begin());
  long onset = 0;
  while (onset < readings && level[static_cast<std::size_t>(onset)] < peak - kOnsetBelowPeak) {
    ++onset;
  }
  long end = readings - 1;
  while (end > onset && level[static_cast<std::size_t>(end)] < peak - kEndBelowPeak) {
    --end;
  }
  parts.onset = seconds(onset);
  parts.end = std::min(sound.seconds(), seconds(end));
  // Steady readings: a straight line fitted over kSteadySpan either side.
  const long span = std::max(2L, std::lround(kSteadySpan / kLevelHop));
  std::vector<double> steady;
  std::vector<bool> steadyAt(static_cast<std::size_t>(readings), false);
  for (long r = onset; r <= end; ++r) {
    if (level[static_cast<std::size_t>(r)] < peak - kBodyBelowPeak) {
      continue;
    }
    const long first = std::max(onset, r - span);
    const long last = std::min(end, r + span);
    if (last - first < span) {
      continue;
    }
    if (std::fabs(fittedSlope(level, first, last, seconds)) <= kSteadyDbPerSecond) {
      steady.push_back(level[static_cast<std::size_t>(r)]);
      steadyAt[static_cast<std::size_t>(r)] = true;
    }
  }
  // Only falling: the attack is its way up, and the note ends where the
  // decay has come down kDecayBelowPeak.
  const auto withoutBody = [&](NoteParts& found) {
    long decayed = end;
    while (decayed > peakAt && level[static_cast<std::size_t>(decayed)] < peak - kDecayBelowPeak) {
      --decayed;
    }
    found.body = false;
    found.bodyLevel = 0.0;
    found.attackEnd = std::max(found.onset, seconds(peakAt));
    found.noteEnd = std::min(found.end, seconds(decayed));
    return found;
  };
  if (static_cast<double>(steady.size()) * kLevelHop < kShortestBody) {
    return withoutBody(parts);
  }
  parts.body = true;
  parts.bodyLevel = quantile(steady, kBodyQuantile);
  // The body's own wavering, from the steady readings near its level.
  std::vector<double> near;
  for (double value : steady) {
    if (std::fabs(value - parts.bodyLevel) <= kMostTolerance) {
      near.push_back(value);
    }
  }
  const double spread = (quantile(near, 0.9) - quantile(near, 0.1)) / 2.0;
  const double threshold = parts.bodyLevel - std::clamp(spread, kLeastTolerance, kMostTolerance);
  long attackEnd = onset;
  while (attackEnd < end && level[static_cast<std::size_t>(attackEnd)] < threshold) {
    ++attackEnd;
  }
  // A body that sags a little still holds until its level moves fast.
  long noteEnd = end;
  while (noteEnd > attackEnd && level[static_cast<std::size_t>(noteEnd)] < threshold &&
         !(steadyAt[static_cast<std::size_t>(noteEnd)] &&
           level[static_cast<std::size_t>(noteEnd)] >= parts.bodyLevel - kSaggingBody)) {
    --noteEnd;
  }
  // A body that falls all along is a slow decay: a plucked string's first
  // second may fall no faster than a held note wavers.
  if (fittedSlope(level, attackEnd, noteEnd, seconds) < -kFallingBody) {
    return withoutBody(parts);
  }
  parts.attackEnd = seconds(attackEnd);
  parts.noteEnd = std::min(parts.end, seconds(noteEnd));
  return parts;
}
