#pragma once

#include <cstddef>

// What one picture may ask of hvx before it is decoded. Each limit is checked
// against the file's own header, so that a hostile file is refused in time
// and memory that do not depend on what it claims.

// Pixels of the source picture: about 33 megapixels, more than any sensible
// source for a 64-column grid; it bounds the memory one picture can take
// (at most 12 bytes a pixel for a 16-bit picture with transparency).
constexpr std::size_t kMaxSourcePixels = std::size_t{1} << 25;

// Scans of a JPEG: each one makes the decoder pass over the whole picture
// again. Progressive files have about ten; a few hundred empty scans would
// take seconds on a large picture.
constexpr int kMaxJpegScans = 100;
