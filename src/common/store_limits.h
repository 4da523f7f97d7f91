#pragma once

// How much one voice can hold. The converter's matrices, the picture loader,
// the envelope closing and the voice record all size themselves from here.

// Envelope points (picture rows) and breakpoints per envelope.
constexpr int kMaxPoints = 128;
// Harmonics (picture columns), harmonic 1 first.
constexpr int kMaxHarmonics = 64;
// Largest random detune, in per mille either way (the -f option's bound).
constexpr int kMaxDetunePerMille = 100;
// Plateau mode gives every envelope point two breakpoints: its start and the
// end of its flat stretch.
constexpr int kPlateauBreakpointsPerPoint = 2;
// Envelope points that fit when each takes its plateau breakpoints.
constexpr int kMaxPlateauPoints = kMaxPoints / kPlateauBreakpointsPerPoint;
// Points the converter adds after the loaded ones: a copy of the loop point
// and the silent release point. In a full store they take the last places.
constexpr int kClosingPoints = 2;

// Breakpoints each envelope point takes, with plateau mode on or off.
constexpr int breakpointsPerPoint(bool plateau) {
  return plateau ? kPlateauBreakpointsPerPoint : 1;
}
