#pragma once

#include <cstddef>
#include <string>

// Larger files are refused unread: no picture worth 64 columns is this big.
constexpr std::size_t kMaxInputFileBytes = std::size_t{256} << 20;

// Reads a whole regular file of at most kMaxInputFileBytes. False with a one-line reason in `error`
// otherwise, also when the file grows past the cap while it is read.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& error);

enum class FileRead { Read, TooLarge, Failed };

// Reads a regular file of at most `maxBytes`. Its size is checked first, and the read stops just
// past `maxBytes` however the file grows meanwhile: TooLarge then, with nothing in `bytes`.
// Never waits on a FIFO or a device. Failed with a one-line reason in `error`.
FileRead readFileUpTo(const std::string& path, std::size_t maxBytes, std::string& bytes,
                      std::string& error);

// True when `path` names a regular file (through links); false with a
// one-line reason in `error` for a folder, a device, a FIFO or nothing.
bool isRegularFile(const std::string& path, std::string& error);

// True when both paths name the same file, by name or through links.
bool sameFile(const std::string& a, const std::string& b);
