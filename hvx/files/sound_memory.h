#pragma once

#include <sndfile.h>

#include <cstddef>
#include <string>

// Bytes in memory that libsndfile reads, writes and seeks in as if they were
// a file: a sound given to be read, or the bytes an encoder writes.
struct SoundMemory {
  // Reading: the sound's bytes, which it never changes nor reads past.
  static SoundMemory reading(const unsigned char* data, std::size_t size) {
    SoundMemory memory;
    memory.data = data;
    memory.size = static_cast<sf_count_t>(size);
    return memory;
  }

  const unsigned char* data = nullptr;  // null: writing into `written`
  sf_count_t size = 0;
  std::string written;
  sf_count_t position = 0;
};

// The callbacks for sf_open_virtual, their user data a SoundMemory.
SF_VIRTUAL_IO soundMemoryCallbacks();
