#pragma once

#include "voice/voice.h"

// Reads an envelope at any time by straight lines between its breakpoints;
// before the first and after the last it holds the nearest value. Remembers
// where it was, so that reading forward in time costs next to nothing.
class EnvelopeSampler {
 public:
  EnvelopeSampler(const Envelope& envelope, double valueWhenEmpty)
      : envelope_(&envelope), empty_(valueWhenEmpty) {}

  double valueAt(double time);

 private:
  const Envelope* envelope_;
  double empty_;
  int segment_ = 0;  // times[segment_] <= time, as far as known
};
