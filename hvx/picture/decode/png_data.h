#pragma once

#include <cstddef>
#include <string>

// Whether a PNG's compressed pixel data inflates to what its header says the
// picture holds: inflated in small pieces and thrown away, so that a file
// whose data would grow far past its picture (a few kilobytes can inflate to
// gigabytes) is refused in bounded memory and time. The caller has checked
// the signature and the size. False with a one-line `error` otherwise.
bool pngDataFits(const unsigned char* data, std::size_t size, std::string& error);
