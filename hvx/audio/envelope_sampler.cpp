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

double EnvelopeSampler::readEnvelope(double time) {
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
  lineSegment_ = segment_;
  lineStart_ = static_cast<double>(e.times[segment_]);
  lineEnd_ = static_cast<double>(e.times[segment_ + 1]);
  lineFrom_ = static_cast<double>(e.values[segment_]);
  lineTo_ = static_cast<double>(e.values[segment_ + 1]);
  first_ = static_cast<double>(e.times[0]);
  last_ = static_cast<double>(e.times[count - 1]);
  return lineFrom_ + (lineTo_ - lineFrom_) * ((time - lineStart_) / (lineEnd_ - lineStart_));
}
