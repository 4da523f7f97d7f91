#include "hvx/picture/decode/jpeg_markers.h"

namespace {

constexpr unsigned char kMarkerByte = 0xFF;
constexpr unsigned char kStartOfImage = 0xD8;
constexpr unsigned char kEndOfImage = 0xD9;
constexpr unsigned char kStartOfScan = 0xDA;
constexpr unsigned char kFirstRestart = 0xD0;
constexpr unsigned char kLastRestart = 0xD7;
constexpr unsigned char kTemporary = 0x01;

bool standalone(unsigned char marker) {
  return marker == kStartOfImage || marker == kTemporary ||
         (marker >= kFirstRestart && marker <= kLastRestart);
}

// The position after a scan's entropy-coded data: the 0xFF of the next marker
// that is neither a stuffed zero nor a restart marker; `size` if none.
std::size_t endOfScanData(const unsigned char* data, std::size_t size, std::size_t at) {
  while (at + 1 < size) {
    if (data[at] == kMarkerByte) {
      const unsigned char next = data[at + 1];
      if (next != 0 && next != kMarkerByte && !(next >= kFirstRestart && next <= kLastRestart)) {
        return at;
      }
    }
    ++at;
  }
  return size;
}

}  // namespace

JpegMarkers walkJpegMarkers(const unsigned char* data, std::size_t size, int maxScans) {
  JpegMarkers found;
  std::size_t at = 2;  // past the start-of-image marker
  while (at < size) {
    if (data[at] != kMarkerByte) {
      ++at;  // stray bytes between segments, which decoders skip too
      continue;
    }
    while (at < size && data[at] == kMarkerByte) {
      ++at;  // fill bytes
    }
    if (at >= size) {
      break;
    }
    const unsigned char marker = data[at++];
    if (marker == kEndOfImage) {
      found.complete = true;
      break;
    }
    if (standalone(marker)) {
      continue;
    }
    if (at + 2 > size) {
      break;
    }
    const std::size_t length = (static_cast<std::size_t>(data[at]) << 8) | data[at + 1];
    if (length < 2 || length > size - at) {
      break;
    }
    at += length;
    if (marker == kStartOfScan) {
      if (++found.scans > maxScans) {
        break;
      }
      at = endOfScanData(data, size, at);
    }
  }
  return found;
}
