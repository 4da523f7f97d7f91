#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds the bytes of an 8-bit greyscale bitmap in the layout tonepix reads:
// the 54-byte header, an identity palette of 256 entries, then `height` rows
// of `width` pixel bytes in file order. hvx prepare writes exactly these
// bytes; the tools and tests make their pictures with it. Width and height are
// written as given, so lying headers can be made too.
std::string makeBitmap(std::int32_t width, std::int32_t height,
                       const std::vector<std::uint8_t>& pixels);

// Writes `bytes` to `path`; false when the file cannot be written. For the
// tools and tests: hvx writes its files safely (hvx/files/safe_write.h).
bool writeFileBytes(const std::string& path, const std::string& bytes);
