#pragma once

#include <cstddef>

// True when the argument names a picture: its file name (the text after the
// last '/') contains ".bmp" or ".BMP" anywhere (case matters).
bool hasBitmapName(const char* argument);

// The voice file path: the folder part as written, then the file name cut at
// its first ".bmp", which becomes ".hvx", then at the first ".BMP" of what
// remains, which becomes ".HVX".
// `output` holds `capacity` bytes; the result is always terminated.
void deriveOutputPath(const char* inputPath, char* output, std::size_t capacity);

// The voice name: the text after the last backslash, overridden by the text
// after the last forward slash, then cut at its last full stop.
void deriveVoiceName(const char* inputPath, char* name, std::size_t capacity);
