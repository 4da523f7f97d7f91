#pragma once

#include <cmath>

#include "voice/voice.h"

// How a preview walks through a voice's envelopes: from 0 to the loop end,
// then round the loop (loop start to loop end, again and again) until `hold`
// seconds have passed since the loop end was first reached, then from the loop
// end on to the end of the envelopes. The release starts exactly `hold`
// seconds after the loop end, from wherever the loop stands at that moment
// (see PlaybackSpan::joinFrom). A loop of zero length (or shorter than a
// sample) holds its point for `hold`.
// A key let go instead: the release starts `keyUp` seconds from the start,
// wherever the voice stands then (in the attack, in the loop or past it).
struct PlaybackPlan {
  double loopStart = 0;  // envelope seconds
  double loopEnd = 0;
  double end = 0;    // last breakpoint, or the loop end if that lies later
  double keyUp = 0;  // output seconds where the release starts

  // Output seconds the loop goes round.
  double hold() const { return keyUp > loopEnd ? keyUp - loopEnd : 0.0; }
  // up to the key let go + release (loop end .. end)
  double durationSeconds() const { return keyUp + (end - loopEnd); }
};

// Held `holdSeconds` past the loop end; with `gateSeconds` >= 0, let go that
// many seconds from the start instead.
PlaybackPlan planPlayback(const Voice& voice, double holdSeconds, double gateSeconds = -1.0);

// Loops shorter than this many samples are walked by time, a block of output
// at a time, instead of pass by pass: a loop of one sample must not cost a
// block of work per sample.
constexpr double kShortestLoopPassSamples = 128.0;

// A stretch of the output, from `outputStart` to `outputEnd` seconds, over
// which envelope time runs from `envelopeStart` at `rate` (1, or 0 while a
// point is held). With `wrap` > 0 it runs round and round the `wrap` seconds
// from `envelopeStart`. With `joinFrom` >= 0 every envelope starts where it
// stood at envelope time `joinFrom` and goes from there in a straight line to
// its next breakpoint after `envelopeStart` (or, lacking one, to its last
// value at `joinUntil`): the release so starts where the hold left off.
struct PlaybackSpan {
  double outputStart;
  double outputEnd;
  double envelopeStart;
  double rate;
  double wrap = 0.0;
  double joinFrom = -1.0;
  double joinUntil = 0.0;

  double envelopeTimeAt(double outputTime) const {
    const double run = rate * (outputTime - outputStart);
    return envelopeStart + (wrap > 0.0 ? std::fmod(run, wrap) : run);
  }
};

// Calls `visit(span)` for the spans of the plan in order; together they cover
// 0 .. durationSeconds() without gaps, in at most one span per
// kShortestLoopPassSamples of output (and three more). `sampleRate` decides
// when a loop is too short to walk round.
template <typename Visit>
void forEachSpan(const PlaybackPlan& plan, double sampleRate, Visit&& visit) {
  const double releaseStart = plan.keyUp;
  visit(PlaybackSpan{0.0, std::fmin(plan.loopEnd, releaseStart), 0.0, 1.0});
  const double loopLength = plan.loopEnd - plan.loopStart;
  const double loopSamples = loopLength * sampleRate;
  // Envelope time where the key is let go.
  double holdEndsAt = std::fmin(plan.loopEnd, releaseStart);
  if (plan.hold() > 0.0) {
    if (loopSamples < 1.0) {
      visit(PlaybackSpan{plan.loopEnd, releaseStart, plan.loopEnd, 0.0});
    } else if (loopSamples < kShortestLoopPassSamples) {
      const PlaybackSpan round{plan.loopEnd, releaseStart, plan.loopStart, 1.0, loopLength};
      visit(round);
      holdEndsAt = round.envelopeTimeAt(releaseStart);
    } else {
      for (double pass = 0.0;; pass += 1.0) {
        const double start = plan.loopEnd + pass * loopLength;
        if (start >= releaseStart) {
          break;
        }
        const double next = plan.loopEnd + (pass + 1.0) * loopLength;
        const PlaybackSpan round{start, next < releaseStart ? next : releaseStart, plan.loopStart,
                                 1.0};
        visit(round);
        holdEndsAt = round.envelopeTimeAt(round.outputEnd);
      }
    }
  }
  visit(PlaybackSpan{releaseStart, plan.durationSeconds(), plan.loopEnd, 1.0, 0.0, holdEndsAt,
                     plan.end});
}
