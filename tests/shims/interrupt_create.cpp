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

int openWithSignal(const char* name, const char* path, int flags, mode_t mode) {
  static OpenFunction real = nullptr;
  if (real == nullptr) {
    real = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, name));
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

mode_t modeArgument(int flags, va_list arguments) {
  return (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(arguments, unsigned int)) : 0;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openWithSignal("open", path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openWithSignal("open64", path, flags, mode);
}
