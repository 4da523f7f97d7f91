#include "files/safe_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxLinkHops = 40;
// Temporary names start with '.' and end in six characters that make them
// unique; a long file name is shortened so that the whole name still fits.
constexpr std::size_t kTemporaryStemChars = 64;
constexpr int kTemporaryAttempts = 100;

// The temporary file a signal handler must remove. While it is being
// created, a run-ending signal is only noted (`deferred`) and raised again
// once the file is recorded or known not to be ours, so a handler never sees
// a file that is not recorded, nor a record of a file that is not ours, and
// no system call is spent on masking signals.
char pendingPath[kReplacementPathBytes];
volatile std::sig_atomic_t hasPending = 0;
volatile std::sig_atomic_t creating = 0;
volatile std::sig_atomic_t deferred = 0;

bool copyPath(char* out, const char* text) {
  const std::size_t length = std::strlen(text);
  if (length >= kReplacementPathBytes) {
    return false;
  }
  std::memcpy(out, text, length + 1);
  return true;
}

// Length of the folder part of `path`, its last '/' included (0: no folder).
std::size_t folderLength(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? static_cast<std::size_t>(slash - path) + 1 : 0;
}

// Follows symlinks from `path` to the file they finally name, which need not
// exist. `exists` and `info` describe that file.
bool resolveTarget(const char* path, char* target, struct stat& info, bool& exists) {
  if (!copyPath(target, path)) {
    return false;
  }
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    if (::lstat(target, &info) != 0) {
      exists = false;
      return errno == ENOENT;
    }
    if (!S_ISLNK(info.st_mode)) {
      exists = true;
      return true;
    }
    char link[kReplacementPathBytes];
    const ssize_t length = ::readlink(target, link, sizeof link - 1);
    if (length <= 0) {
      return false;
    }
    link[length] = '\0';
    // A relative link names a file beside the link itself.
    const std::size_t folder = link[0] == '/' ? 0 : folderLength(target);
    if (folder + static_cast<std::size_t>(length) >= kReplacementPathBytes) {
      return false;
    }
    std::memcpy(target + folder, link, static_cast<std::size_t>(length) + 1);
  }
  return false;  // a loop of links
}

mode_t processUmask() {
  static const mode_t mask = [] {
    const mode_t current = ::umask(0);
    ::umask(current);
    return current;
  }();
  return mask;
}

// Six name characters that differ between calls and between processes.
void uniqueSuffix(char* out) {
  static unsigned long long state = 0;
  if (state == 0) {
    state = (static_cast<unsigned long long>(::getpid()) << 32) ^
            reinterpret_cast<unsigned long long>(&state) ^ 0x9E3779B97F4A7C15ull;
  }
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  unsigned long long bits = state;
  for (int i = 0; i < 6; ++i) {
    out[i] = kAlphabet[bits % 62];
    bits /= 62;
  }
}

// Creates a new hidden file beside `target` with the permission bits `mode`
// (before the umask), recording it as pending.
bool createTemporary(Replacement& replacement, mode_t mode) {
  const char* target = replacement.target;
  const std::size_t folder = folderLength(target);
  std::size_t stem = std::strlen(target + folder);
  if (stem > kTemporaryStemChars) {
    stem = kTemporaryStemChars;
  }
  // folder + '.' + stem + '.' + six characters + terminator
  if (folder + stem + 9 > kReplacementPathBytes) {
    return false;
  }
  char* name = replacement.temporary;
  std::memcpy(name, target, folder);
  name[folder] = '.';
  std::memcpy(name + folder + 1, target + folder, stem);
  name[folder + 1 + stem] = '.';
  char* suffix = name + folder + stem + 2;
  suffix[6] = '\0';
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    uniqueSuffix(suffix);
    creating = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    const int openError = errno;
    if (fd >= 0) {
      std::memcpy(pendingPath, name, std::strlen(name) + 1);
      std::atomic_signal_fence(std::memory_order_seq_cst);
      hasPending = 1;
      replacement.fd = fd;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    creating = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (const int signal = deferred) {
      deferred = 0;
      std::raise(signal);  // its handler now removes the recorded file
    }
    if (fd >= 0) {
      return true;
    }
    if (openError != EEXIST) {
      return false;
    }
  }
  return false;
}

// The replaced file's permission bits, and its owner and group where the
// process may set them.
void takeOverAttributes(int fd, const struct stat& earlier) {
  static const uid_t user = ::geteuid();
  static const gid_t group = ::getegid();
  const mode_t mode = earlier.st_mode & 07777;
  const bool otherOwner = earlier.st_uid != user || earlier.st_gid != group;
  if (otherOwner && ::fchown(fd, earlier.st_uid, earlier.st_gid) != 0) {
    [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), earlier.st_gid);
  }
  // Changing the owner may clear set-id bits; the umask may have cleared others.
  if (otherOwner || (mode & ~processUmask()) != mode) {
    ::fchmod(fd, mode);
  }
}

// Whether the process may write the existing file: decided from its mode when
// the answer is plain, by asking the system otherwise.
bool mayWrite(const char* path, const struct stat& info) {
  static const uid_t user = ::geteuid();
  if (user == 0 || (info.st_uid == user && (info.st_mode & S_IWUSR) != 0)) {
    return true;
  }
  return ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0;
}

bool openInPlace(Replacement& replacement) {
  replacement.inPlace = true;
  replacement.fd =
      ::open(replacement.target, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666);
  return replacement.fd >= 0;
}

}  // namespace

bool beginReplacement(const char* path, Replacement& replacement) {
  // The path buffers are filled before they are read: clear only the rest.
  replacement.fd = -1;
  replacement.inPlace = false;
  replacement.leftTemporary = false;
  struct stat info {};
  bool exists = false;
  if (!resolveTarget(path, replacement.target, info, exists)) {
    return false;
  }
  if (exists && S_ISDIR(info.st_mode)) {
    return false;
  }
  if (exists && !S_ISREG(info.st_mode)) {
    return openInPlace(replacement);  // a device such as a full disk's stand-in
  }
  if (exists && !mayWrite(replacement.target, info)) {
    return false;  // not ours to replace
  }
  if (createTemporary(replacement, exists ? (info.st_mode & 07777) : 0666)) {
    if (exists) {
      takeOverAttributes(replacement.fd, info);
    }
    return true;
  }
  // A folder that takes no new file (read-only, say) may still hold a
  // writable voice file: write it in place rather than refuse.
  return openInPlace(replacement);
}

bool writeReplacementPieces(Replacement& replacement, const BytePiece* pieces, std::size_t count) {
  constexpr std::size_t kPiecesPerCall = 16;
  while (count > 0) {
    struct iovec runs[kPiecesPerCall];
    const std::size_t batch = count < kPiecesPerCall ? count : kPiecesPerCall;
    std::size_t wanted = 0;
    for (std::size_t i = 0; i < batch; ++i) {
      runs[i].iov_base = const_cast<unsigned char*>(pieces[i].bytes);
      runs[i].iov_len = pieces[i].size;
      wanted += pieces[i].size;
    }
    const ssize_t written = ::writev(replacement.fd, runs, static_cast<int>(batch));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written < 0 || (written == 0 && wanted > 0)) {
      return false;
    }
    // A short write: finish the piece it stopped in, then go on after it.
    auto done = static_cast<std::size_t>(written);
    while (count > 0 && done >= pieces->size) {
      done -= pieces->size;
      ++pieces;
      --count;
    }
    if (done > 0) {
      if (!writeReplacement(replacement, pieces->bytes + done, pieces->size - done)) {
        return false;
      }
      ++pieces;
      --count;
    }
  }
  return true;
}

bool writeReplacement(Replacement& replacement, const unsigned char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(replacement.fd, bytes, size);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool finishReplacement(Replacement& replacement, bool complete) {
  struct stat info {};
  const bool regular =
      replacement.inPlace && ::fstat(replacement.fd, &info) == 0 && S_ISREG(info.st_mode);
  if (::close(replacement.fd) != 0) {
    complete = false;
  }
  replacement.fd = -1;
  if (replacement.inPlace) {
    // Nothing earlier is left to keep; an incomplete voice must not stay
    // behind looking like a finished one.
    if (!complete && regular) {
      ::unlink(replacement.target);
    }
    return complete;
  }
  // The record is cleared only after the file is renamed or removed: a
  // handler in between finds no file under the old name.
  if (complete && std::rename(replacement.temporary, replacement.target) == 0) {
    hasPending = 0;
    return true;
  }
  if (::unlink(replacement.temporary) != 0 && errno != ENOENT) {
    replacement.leftTemporary = true;
  }
  hasPending = 0;
  return false;
}

bool deferDuringCreation(int signal) {
  if (creating == 0) {
    return false;
  }
  deferred = signal;
  return true;
}

void removePendingTemporary() {
  if (hasPending != 0) {
    ::unlink(pendingPath);
  }
}
