#include "cli/converter.h"

int Converter::closeEnvelope() {
  const std::int32_t loaded = pointCount;
  const std::int32_t loopPoint = loaded / 4 + 1;
  loopStartPoint = loopPoint;
  const std::int32_t perPoint = breakpointsPerPoint(plateauPercent != 0);
  pointCount = loaded + kClosingPoints;
  // An envelope holds 128 breakpoints; the two closing points then overwrite
  // the last loaded ones.
  if (perPoint * pointCount > kMaxPoints) {
    pointCount = kMaxPoints / perPoint;
  }
  loopEndPoint = pointCount - 2;
  const std::int32_t releasePoint = pointCount - 1;

  const double startTime = static_cast<double>(loopPoint) * static_cast<double>(interval);
  const double endTime = static_cast<double>(loopEndPoint) * static_cast<double>(interval);
  loopStart = static_cast<float>(startTime);
  loopEnd = static_cast<float>(endTime);
  say(summary, "%d = %d .. %d : %f .. %f\n", pointCount, loopPoint, loopEndPoint, startTime,
      endTime);

  for (int h = 0; h < harmonicCount; ++h) {
    amplitude[loopEndPoint][h] = amplitude[loopPoint][h];
    ratio[loopEndPoint][h] = ratio[loopPoint][h];
    amplitude[releasePoint][h] = 0.0f;
    ratio[releasePoint][h] = static_cast<float>(h + 1);
  }
  return 0;
}
