#include "hvx/audio/envelope_sampler.h"

#include <algorithm>

void EnvelopeSampler::joinFrom(double time, double value, double until) {
  const Envelope& e = *envelope_;
  const float* next = std::upper_bound(e.times, e.times + e.count, time, [](double t, float at) {
    return t < static_cast<double>(at);
  });
  joinStart_ = time;
  joinValue_ = value;
  if (next != e.times + e.count) {
    joinEnd_ = static_cast<double>(*next);
    joinTarget_ = static_cast<double>(e.values[next - e.times]);
  } else {
    joinEnd_ = until;
    joinTarget_ = e.count > 0 ? static_cast<double>(e.values[e.count - 1]) : empty_;
  }
  if (!(joinEnd_ > joinStart_)) {
    joinEnd_ = 0.0;  // nothing to join over
  }
}

double EnvelopeSampler::valueAt(double time) {
  if (time < joinEnd_) {
    const double along = std::max(0.0, time - joinStart_) / (joinEnd_ - joinStart_);
    return joinValue_ + (joinTarget_ - joinValue_) * along;
  }
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
