#pragma once

#include <string>

// Reads a whole file. False with a one-line reason in `error` otherwise.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& error);

// Writes `bytes` to `path` without ever leaving a half-written file: a
// temporary file in the same folder, renamed into place. A replaced file's
// permission bits are kept. False with a one-line reason in `error`.
bool writeFileSafely(const std::string& path, const std::string& bytes, std::string& error);

// True when both paths name the same file, by name or through links.
bool sameFile(const std::string& a, const std::string& b);
