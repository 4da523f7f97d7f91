#include "hvx/audio/envelope_sampler.h"

double EnvelopeSampler::valueAt(double time) {
  const Envelope& e = *envelope_;
  const int count = e.count;
  if (count <= 0) {
    return empty_;
  }
  if (time <= static_cast<double>(e.times[0])) {
    segment_ = 0;
    return static_cast<double>(e.values[0]);
  }
  if (time >= static_cast<double>(e.times[count - 1])) {
    return static_cast<double>(e.values[count - 1]);
  }
  // Back round a loop: search again from the start.
  if (segment_ >= count || static_cast<double>(e.times[segment_]) > time) {
    segment_ = 0;
  }
  while (static_cast<double>(e.times[segment_ + 1]) <= time) {
    ++segment_;
  }
  const double t0 = static_cast<double>(e.times[segment_]);
  const double t1 = static_cast<double>(e.times[segment_ + 1]);
  const double v0 = static_cast<double>(e.values[segment_]);
  const double v1 = static_cast<double>(e.values[segment_ + 1]);
  return v0 + (v1 - v0) * ((time - t0) / (t1 - t0));
}
