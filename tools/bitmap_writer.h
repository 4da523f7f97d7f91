#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds the bytes of an 8-bit greyscale bitmap as tonepix reads it: the
// 54-byte header, an identity palette of 256 entries, then `height` rows of
// `width` pixel bytes in file order. Width and height are written as given, so
// lying headers can be made too.
std::string makeBitmap(std::int32_t width, std::int32_t height,
                       const std::vector<std::uint8_t>& pixels);

// Writes `bytes` to `path`; false when the file cannot be written.
bool writeFileBytes(const std::string& path, const std::string& bytes);
