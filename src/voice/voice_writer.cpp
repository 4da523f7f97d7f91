#include "voice/voice_writer.h"

#include <cstring>
#include <new>

VoiceWriter::~VoiceWriter() {
  // Only reached with a file still open when close() was never called: the
  // unfinished file must not replace anything.
  if (opened) {
    finishReplacement(output, false);
  }
  release();
}

bool VoiceWriter::open(const char* path) {
  mode = 1;
  length = 0;
  overflowed = false;
  borrowedCount = 0;
  borrowedBytes = 0;
  // Take the buffer first so that a failed allocation leaves the disk alone.
  buffer = new (std::nothrow) unsigned char[kBufferBytes];
  if (buffer == nullptr) {
    return false;
  }
  if (!beginReplacement(path, output)) {
    release();
    return false;
  }
  opened = true;
  return true;
}

bool VoiceWriter::openInMemory() {
  mode = 2;
  length = 0;
  overflowed = false;
  borrowedCount = 0;
  borrowedBytes = 0;
  borrowing = false;
  buffer = new (std::nothrow) unsigned char[kBufferBytes];
  return buffer != nullptr;
}

void VoiceWriter::putBytes(const unsigned char* bytes, std::size_t count) {
  if (buffer == nullptr || count > room()) {
    // No voice comes near the buffer's size; refuse rather than overrun it.
    overflowed = true;
    return;
  }
  std::memcpy(buffer + length, bytes, count);
  length += static_cast<std::int32_t>(count);
}

void VoiceWriter::putRecord(const void* bytes, std::size_t count) {
  const auto* record = static_cast<const unsigned char*>(bytes);
  // Small records cost less to copy than to write as a piece of their own.
  constexpr std::size_t kWorthBorrowing = 4096;
  if (!borrowing || count < kWorthBorrowing || borrowedCount == kMaxBorrowed || buffer == nullptr ||
      count > room()) {
    putBytes(record, count);
    return;
  }
  borrowed[borrowedCount++] = Borrowed{record, count, static_cast<std::size_t>(length)};
  borrowedBytes += static_cast<std::int32_t>(count);
}

void VoiceWriter::putInt32(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const unsigned char bytes[4] = {static_cast<unsigned char>(bits & 0xFFu),
                                  static_cast<unsigned char>((bits >> 8) & 0xFFu),
                                  static_cast<unsigned char>((bits >> 16) & 0xFFu),
                                  static_cast<unsigned char>((bits >> 24) & 0xFFu)};
  putBytes(bytes, sizeof bytes);
}

void VoiceWriter::putFloat32(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  putInt32(static_cast<std::int32_t>(bits));
}

void VoiceWriter::putFloat32s(const float* values, std::size_t count) {
  if (buffer == nullptr || count > room() / 4) {
    // Near the end of the buffer: as many whole values as fit, as one by one.
    for (std::size_t k = 0; k < count; ++k) {
      putFloat32(values[k]);
    }
    return;
  }
  unsigned char* out = buffer + length;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // Floats are stored little-endian already: one copy instead of a call per value.
  std::memcpy(out, values, 4 * count);
#else
  for (std::size_t k = 0; k < count; ++k) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &values[k], sizeof bits);
    for (std::size_t b = 0; b < 4; ++b) {
      out[4 * k + b] = static_cast<unsigned char>((bits >> (8 * b)) & 0xFFu);
    }
  }
#endif
  length += static_cast<std::int32_t>(4 * count);
}

void VoiceWriter::putString(const char* text) {
  putBytes(reinterpret_cast<const unsigned char*>(text), std::strlen(text) + 1);
}

bool VoiceWriter::close() {
  if (mode != 1 || !opened) {
    release();
    return false;
  }
  // Without its buffer the voice is gone: the earlier file must stay.
  const bool complete = buffer != nullptr && !overflowed && writeAssembled();
  opened = false;
  release();
  return finishReplacement(output, complete);
}

bool VoiceWriter::writeAssembled() {
  if (borrowedCount == 0) {
    return writeReplacement(output, buffer, static_cast<std::size_t>(length));
  }
  // The buffer's bytes around each borrowed record, in file order.
  BytePiece pieces[2 * kMaxBorrowed + 1];
  std::size_t count = 0;
  std::size_t from = 0;
  for (int i = 0; i < borrowedCount; ++i) {
    pieces[count++] = BytePiece{buffer + from, borrowed[i].at - from};
    pieces[count++] = BytePiece{borrowed[i].bytes, borrowed[i].size};
    from = borrowed[i].at;
  }
  pieces[count++] = BytePiece{buffer + from, static_cast<std::size_t>(length) - from};
  return writeReplacementPieces(output, pieces, count);
}

void VoiceWriter::release() {
  delete[] buffer;
  buffer = nullptr;
}
