#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The image library reads every bitmap but the run-length compressed ones
// (4 and 8 bits per pixel); these are expanded here, through their palette.

// True when `data` is a bitmap whose pixels are run-length compressed.
bool isRleBitmap(const unsigned char* data, std::size_t size);

// The picture as red, green, blue and alpha bytes, top row first. Runs are
// followed only as far as the picture reaches, so the work is bounded by the
// file's size and the picture's pixels. The caller has checked the size
// against its limit. False with a one-line `error` when the file is damaged
// or ends before the picture does.
bool decodeRleBitmap(const unsigned char* data, std::size_t size, int& width, int& height,
                     std::vector<unsigned char>& rgba, std::string& error);
