#pragma once

#include <sys/types.h>

#include <cstddef>

// Replacing a file never loses the earlier one: the new bytes go to a hidden
// temporary file beside the final destination, which is renamed over it only
// once every byte was written and the file closed. tonepix's voices and every
// file hvx writes (through hvx/files/safe_write.h) come this way. A symlink is followed
// and its final target replaced, so the link stays a link. Devices, and
// destinations whose folder takes no new file, are written in place.

constexpr int kReplacementPathBytes = 4096;

struct Replacement {
  // Both names start empty; the rest of each is written before it is read,
  // so a voice does not pay for clearing 8 KB.
  Replacement() {
    target[0] = '\0';
    temporary[0] = '\0';
  }

  int fd = -1;
  bool inPlace = false;
  bool leftTemporary = false;  // a failed replacement could not remove its file
  char target[kReplacementPathBytes];
  char temporary[kReplacementPathBytes];
};

// Opens what the voice for `path` is written to. False, with nothing created
// and the destination untouched, when it cannot be written.
bool beginReplacement(const char* path, Replacement& replacement);

// Writes all `size` bytes, retrying short writes. False on any write error.
bool writeReplacement(Replacement& replacement, const unsigned char* bytes, std::size_t size);

// A run of bytes from wherever they are held.
struct BytePiece {
  const unsigned char* bytes;
  std::size_t size;
};

// Writes the pieces one after the other, as if they were one run, in as few
// calls as the system allows. False on any write error.
bool writeReplacementPieces(Replacement& replacement, const BytePiece* pieces, std::size_t count);

// Closes the file and, when `complete` and the close succeeded, puts it in
// place. True only when the new voice is in place. On failure the temporary
// file is removed and the earlier voice left as it was; `leftTemporary` says
// when the temporary file could not be removed (`temporary` names it).
bool finishReplacement(Replacement& replacement, bool complete);

// For signal handlers, both async-signal-safe. While a temporary file is
// being created, deferDuringCreation() notes `signal` to be raised again as
// soon as the file is recorded, and returns true: the handler must then
// return without acting. Otherwise removePendingTemporary() removes the
// temporary file being written, if any.
bool deferDuringCreation(int signal);
void removePendingTemporary();
