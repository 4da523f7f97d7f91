#pragma once

#include "voice/voice.h"

// Reads an envelope at any time by straight lines between its breakpoints;
// before the first and after the last it holds the nearest value. Remembers
// where it was (so the envelope must not change while it reads it), so that
// reading forward in time costs next to nothing.
class EnvelopeSampler {
 public:
  EnvelopeSampler(const Envelope& envelope, double valueWhenEmpty)
      : envelope_(&envelope), empty_(valueWhenEmpty) {}

  double valueAt(double time) {
    // Most readings fall on the segment the last one found: read it from the
    // copy kept here, without touching the envelope.
    if (segment_ == lineSegment_ && !(time < joinEnd_) && time > first_ && time < last_ &&
        time >= lineStart_ && time < lineEnd_) {
      return lineFrom_ + (lineTo_ - lineFrom_) * ((time - lineStart_) / (lineEnd_ - lineStart_));
    }
    return readEnvelope(time);
  }

  // From envelope time `time` on, goes in a straight line from `value` to the
  // next breakpoint after `time` (to the last value at `until` when there is
  // none), then on as written: a release that starts where a hold left off.
  void joinFrom(double time, double value, double until);

 private:
  double readEnvelope(double time);

  const Envelope* envelope_;
  double empty_;
  int segment_ = 0;  // times[segment_] <= time, as far as known
  // The straight line of joinFrom(), for times before joinEnd_ (none before
  // it is called: no time is negative).
  double joinStart_ = 0.0;
  double joinValue_ = 0.0;
  double joinEnd_ = 0.0;
  double joinTarget_ = 0.0;
  // The segment `lineSegment_` as the last search found it (none at first),
  // with the envelope's first and last times then.
  int lineSegment_ = -1;
  double lineStart_ = 0.0;
  double lineEnd_ = 0.0;
  double lineFrom_ = 0.0;
  double lineTo_ = 0.0;
  double first_ = 0.0;
  double last_ = 0.0;
};
