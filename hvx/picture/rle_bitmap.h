#pragma once

#include <cstddef>
#include <string>

// The image library reads every bitmap but the run-length compressed ones
// (4 and 8 bits per pixel). This expands such a file into the same picture as
// an uncompressed 8-bit bitmap with the same palette, which the library reads.

enum class RleExpansion { NotRle, Expanded, Refused };

// NotRle: `data` is no run-length bitmap; use it as it is. Expanded:
// `expanded` holds the uncompressed file. Refused: `error` says why (damaged,
// truncated, or more than `maxPixels` pixels).
RleExpansion expandRleBitmap(const unsigned char* data, std::size_t size, std::size_t maxPixels,
                             std::string& expanded, std::string& error);
