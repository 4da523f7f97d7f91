#pragma once

#include <cstddef>
#include <cstdint>

#include "files/safe_replace.h"
#include "voice/voice.h"

// Assembles a whole voice file in memory, little-endian whatever the host, and
// writes it in one piece at close(). An earlier file at the path is replaced
// only once the new one is complete (see files/safe_replace.h). Opened in
// memory, it only assembles, for a caller that takes the bytes.
class VoiceWriter {
 public:
  static constexpr std::size_t kBufferBytes = 1536000;

  VoiceWriter() = default;
  ~VoiceWriter();
  VoiceWriter(const VoiceWriter&) = delete;
  VoiceWriter& operator=(const VoiceWriter&) = delete;

  // Takes the buffer and opens the new file for `path`. False, with nothing
  // left open, allocated or changed on disk, when either fails.
  bool open(const char* path);
  // Takes the buffer only; false when it cannot. Records are never borrowed.
  bool openInMemory();
  void putInt32(std::int32_t value);
  void putFloat32(float value);
  // The same bytes as putFloat32 for each value in turn, appended at once.
  void putFloat32s(const float* values, std::size_t count);
  // The bytes up to the terminator, then one 0 byte.
  void putString(const char* text);
  // `count` bytes of a record whose memory is already laid out as the file
  // wants it. Copied like any other bytes, unless the writer borrows records.
  void putRecord(const void* bytes, std::size_t count);
  // From now until close(), putRecord() leaves large records where they are
  // and close() writes them from there, sparing a copy: the caller keeps
  // them alive and unchanged until then.
  void borrowRecords() { borrowing = true; }
  // Writes what was assembled, releases the buffer and closes the file, which
  // then takes the path's place. True only when every byte reached the file;
  // otherwise the path keeps what it held before.
  bool close();
  void release();

  std::int32_t encodedLength() const { return length + borrowedBytes; }
  // Opened in memory: the bytes assembled so far, and whether every byte put
  // fitted.
  const unsigned char* assembled() const { return buffer; }
  bool assembledWhole() const { return buffer != nullptr && !overflowed; }
  // After a failed close(): the temporary file that could not be removed, or
  // null when nothing was left behind.
  const char* leftBehind() const { return output.leftTemporary ? output.temporary : nullptr; }

 private:
  void putBytes(const unsigned char* bytes, std::size_t count);
  // Everything assembled, borrowed records in their places, to the file.
  bool writeAssembled();
  // Bytes the voice may still take: borrowed records count against the
  // buffer's size as if they were in it, so that no voice grows larger.
  std::size_t room() const {
    return kBufferBytes - static_cast<std::size_t>(length + borrowedBytes);
  }

  Replacement output;  // the file handle and where it goes
  bool opened = false;
  std::int32_t length = 0;
  [[maybe_unused]] std::int32_t reserved = 0;  // kept for the layout; always 0
  unsigned char* buffer = nullptr;
  std::int32_t mode = 0;
  bool overflowed = false;
  // Records left in place, each with the buffer length at which it goes.
  struct Borrowed {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t at;
  };
  static constexpr int kMaxBorrowed = 4;
  Borrowed borrowed[kMaxBorrowed] = {};
  int borrowedCount = 0;
  std::int32_t borrowedBytes = 0;
  bool borrowing = false;
};

bool encodeVoice(const Voice& voice, VoiceWriter& writer);
bool encodeEnvelopeSet(const EnvelopeSet& set, VoiceWriter& writer);
bool encodeEnvelope(const Envelope& envelope, VoiceWriter& writer);
bool encodeAuxList(const AuxList& list, VoiceWriter& writer);
