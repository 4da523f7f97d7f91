#pragma once

#include <cstddef>

// A JPEG's structure, walked segment by segment without decoding: how many
// scans it holds and whether it reaches its end marker. Linear in the size.
struct JpegMarkers {
  int scans = 0;          // start-of-scan markers seen (counting stops past `maxScans`)
  bool complete = false;  // the end-of-image marker is there
};

// The caller knows the data starts with the start-of-image marker.
JpegMarkers walkJpegMarkers(const unsigned char* data, std::size_t size, int maxScans);
