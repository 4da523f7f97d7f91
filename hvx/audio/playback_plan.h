#pragma once

#include "voice/voice.h"

// How a preview walks through a voice's envelopes: from 0 to the loop end,
// then round the loop (loop start to loop end, again and again) until `hold`
// seconds have passed since the loop end was first reached, then from the loop
// end on to the end of the envelopes. The release starts exactly `hold`
// seconds after the loop end, wherever the loop stands at that moment. A loop
// of zero length (or shorter than a sample) holds its point for `hold`.
struct PlaybackPlan {
  double loopStart = 0;  // envelope seconds
  double loopEnd = 0;
  double end = 0;  // last breakpoint, or the loop end if that lies later
  double hold = 0;

  // attack (0 .. loop end) + hold + release (loop end .. end)
  double durationSeconds() const { return end + hold; }
};

PlaybackPlan planPlayback(const Voice& voice, double holdSeconds);

// A stretch of the output, from `outputStart` to `outputEnd` seconds, over
// which envelope time runs from `envelopeStart` at `rate` (1, or 0 while a
// point is held).
struct PlaybackSpan {
  double outputStart;
  double outputEnd;
  double envelopeStart;
  double rate;

  double envelopeTimeAt(double outputTime) const {
    return envelopeStart + rate * (outputTime - outputStart);
  }
};

// Calls `visit(span)` for the spans of the plan in order; together they cover
// 0 .. durationSeconds() without gaps. `sampleRate` decides when a loop is
// too short to walk round.
template <typename Visit>
void forEachSpan(const PlaybackPlan& plan, double sampleRate, Visit&& visit) {
  visit(PlaybackSpan{0.0, plan.loopEnd, 0.0, 1.0});
  const double loopLength = plan.loopEnd - plan.loopStart;
  const double releaseStart = plan.loopEnd + plan.hold;
  if (plan.hold > 0.0) {
    if (loopLength * sampleRate < 1.0) {
      visit(PlaybackSpan{plan.loopEnd, releaseStart, plan.loopEnd, 0.0});
    } else {
      for (double pass = 0.0;; pass += 1.0) {
        const double start = plan.loopEnd + pass * loopLength;
        if (start >= releaseStart) {
          break;
        }
        const double next = plan.loopEnd + (pass + 1.0) * loopLength;
        visit(PlaybackSpan{start, next < releaseStart ? next : releaseStart, plan.loopStart, 1.0});
      }
    }
  }
  visit(PlaybackSpan{releaseStart, plan.end + plan.hold, plan.loopEnd, 1.0});
}
