#include "hvx/files/sound_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

SoundMemory& memoryOf(void* user) { return *static_cast<SoundMemory*>(user); }

sf_count_t memoryLength(void* user) {
  const SoundMemory& memory = memoryOf(user);
  return memory.data != nullptr ? memory.size : static_cast<sf_count_t>(memory.written.size());
}

// A sound being read is never sought past its end; the bytes being written
// grow to wherever the encoder writes.
sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
  SoundMemory& memory = memoryOf(user);
  const sf_count_t length = memoryLength(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) {
    base = memory.position;
  } else if (whence == SEEK_END) {
    base = length;
  }
  if (offset < -base || (memory.data != nullptr && offset > length - base)) {
    return -1;
  }
  memory.position = base + offset;
  return memory.position;
}

sf_count_t memoryRead(void* destination, sf_count_t count, void* user) {
  SoundMemory& memory = memoryOf(user);
  const sf_count_t length = memoryLength(user);
  const sf_count_t available = memory.position < length ? length - memory.position : 0;
  const sf_count_t taken = std::max<sf_count_t>(0, std::min(count, available));
  if (taken > 0) {
    const unsigned char* from = memory.data != nullptr
                                    ? memory.data
                                    : reinterpret_cast<const unsigned char*>(memory.written.data());
    std::memcpy(destination, from + memory.position, static_cast<std::size_t>(taken));
    memory.position += taken;
  }
  return taken;
}

sf_count_t memoryWrite(const void* source, sf_count_t count, void* user) {
  SoundMemory& memory = memoryOf(user);
  if (memory.data != nullptr || count <= 0) {
    return 0;  // a sound being read is never changed
  }
  const auto at = static_cast<std::size_t>(memory.position);
  const auto size = static_cast<std::size_t>(count);
  if (memory.written.size() < at + size) {
    memory.written.resize(at + size, '\0');
  }
  std::memcpy(&memory.written[at], source, size);
  memory.position += count;
  return count;
}

sf_count_t memoryTell(void* user) { return memoryOf(user).position; }

}  // namespace

SF_VIRTUAL_IO soundMemoryCallbacks() {
  return SF_VIRTUAL_IO{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
}
