// Loaded into tonepix with LD_PRELOAD by the safety tests: a SIGTERM arrives
// at the very moment tonepix creates a hidden temporary voice file, just
// before or just after the file comes into being, as TONEPIX_TEST_SIGNAL_AT
// ("before" or "after") says. A kill at random moments almost never lands in
// that window.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>

#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

using OpenFunction = int (*)(const char*, int, ...);

// Creation of a temporary voice file: exclusive, and a name that starts with
// '.' after its folder.
bool createsTemporary(const char* path, int flags) {
  if ((flags & O_CREAT) == 0 || (flags & O_EXCL) == 0) {
    return false;
  }
  const char* slash = std::strrchr(path, '/');
  return (slash != nullptr ? slash[1] : path[0]) == '.';
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  static OpenFunction real = nullptr;
  if (real == nullptr) {
    real = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, "open"));
  }
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, unsigned int));
    va_end(arguments);
  }
  const char* at = std::getenv("TONEPIX_TEST_SIGNAL_AT");
  const bool interrupt = at != nullptr && createsTemporary(path, flags);
  if (interrupt && std::strcmp(at, "before") == 0) {
    std::raise(SIGTERM);
  }
  const int fd = real(path, flags, mode);
  if (interrupt && std::strcmp(at, "after") == 0) {
    std::raise(SIGTERM);
  }
  return fd;
}

// The same function under its large-file name, which 64-bit systems treat
// alike.
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));
