// A voice file is replaced whole or not at all: whatever interrupts a run
// (a kill, a full disk, a file-size limit, a second run on the same picture),
// every voice file afterwards is either the earlier complete one or the new
// complete one, and no temporary file is left unknowingly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "image/bitmap_writer.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct Child {
  pid_t pid;
};

// Starts tonepix in `dir` with default signal dispositions, an optional
// file-size limit and standard output into a pipe (closed at once when
// `closeOutput`) or /dev/null.
Child spawn(const std::string& dir, const std::vector<std::string>& args, rlim_t sizeLimit = 0,
            bool closeOutput = false) {
  int pipeEnds[2] = {-1, -1};
  if (closeOutput && pipe(pipeEnds) != 0) {
    std::abort();
  }
  const pid_t pid = fork();
  if (pid == 0) {
    for (int signal : {SIGPIPE, SIGXFSZ, SIGTERM}) {
      std::signal(signal, SIG_DFL);
    }
    if (sizeLimit != 0) {
      const rlimit limit{sizeLimit, sizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (closeOutput) {
      close(pipeEnds[0]);
    }
    const int out = closeOutput ? pipeEnds[1] : open("/dev/null", O_WRONLY);
    dup2(out, 1);
    const int err = open((dir + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(err, 2);
    if (chdir(dir.c_str()) != 0) {
      _exit(127);
    }
    std::vector<char*> argv{const_cast<char*>(TONEPIX_BINARY)};
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv(TONEPIX_BINARY, argv.data());
    _exit(127);
  }
  if (closeOutput) {
    close(pipeEnds[0]);  // nobody will ever read what it prints
    close(pipeEnds[1]);
  }
  return Child{pid};
}

int waitFor(const Child& child) {
  int status = 0;
  waitpid(child.pid, &status, 0);
  return status;
}

std::vector<std::string> picturesIn(const TempDir& dir, int count, int height) {
  std::vector<std::string> names;
  std::mt19937 random(7);
  for (int i = 0; i < count; ++i) {
    names.push_back("p" + std::to_string(i) + ".bmp");
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * height));
    for (std::uint8_t& pixel : pixels) {
      pixel = static_cast<std::uint8_t>(random());
    }
    writeFileBytes(dir.file(names.back()), makeBitmap(64, height, pixels));
  }
  return names;
}

std::vector<std::string> with(std::vector<std::string> options,
                              const std::vector<std::string>& names) {
  options.insert(options.end(), names.begin(), names.end());
  return options;
}

std::string voiceOf(const std::string& picture) {
  return picture.substr(0, picture.size() - 4) + ".hvx";
}

// Hidden files a replacement may have left in `dir`.
int temporaryFiles(const TempDir& dir) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename();
    count += name[0] == '.' && name != ".stderr" ? 1 : 0;
  }
  return count;
}

}  // namespace

TEST(SafeReplacement, KilledRunsLeaveEachVoiceEarlierOrNewAndTerminationCleansUp) {
  // In memory where there is such a folder: the kills then land in the
  // conversion work rather than in the disk's.
  const TempDir dir(fs::is_directory("/dev/shm") ? "/dev/shm" : "");
  const std::vector<std::string> names = picturesIn(dir, 300, 64);
  // Two complete outcomes per picture: plain, and plateau (a different size).
  const std::vector<std::string> plain = {"-f0"}, plateau = {"-f0", "-p50"};
  std::vector<std::string> plainVoices, plateauVoices;
  long runMicros = 0;
  for (const auto* options : {&plateau, &plain}) {
    const auto start = std::chrono::steady_clock::now();
    waitFor(spawn(dir.path(), with(*options, names)));
    runMicros = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
    for (const std::string& name : names) {
      (options == &plain ? plainVoices : plateauVoices)
          .push_back(readFileBytes(dir.file(voiceOf(name))));
    }
  }
  std::mt19937 random(11);
  for (int round = 0; round < 16; ++round) {
    const bool term = round % 4 == 3;
    const Child child = spawn(dir.path(), with(round % 2 == 0 ? plateau : plain, names));
    std::this_thread::sleep_for(
        std::chrono::microseconds(random() % static_cast<unsigned>(runMicros)));
    kill(child.pid, term ? SIGTERM : SIGKILL);
    const int status = waitFor(child);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string voice = readFileBytes(dir.file(voiceOf(names[i])));
      ASSERT_TRUE(voice == plainVoices[i] || voice == plateauVoices[i]) << round << " " << names[i];
    }
    if (term && WIFSIGNALED(status)) {
      EXPECT_EQ(WTERMSIG(status), SIGTERM);
      EXPECT_EQ(temporaryFiles(dir), 0) << "after SIGTERM in round " << round;
    }
    // What a kill leaves behind is hidden; clear it so SIGTERM is judged alone.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path().filename().string().rfind(".p", 0) == 0) {
        fs::remove(entry.path());
      }
    }
  }
}

// A SIGTERM while the temporary file is being created, just before or just
// after it exists: the run still ends by that signal, the file it created is
// gone, and the earlier voice is untouched.
TEST(SafeReplacement, TerminationWhileCreatingTheTemporaryFileCleansUp) {
#ifndef INTERRUPT_CREATE_SHIM
  GTEST_SKIP() << "no preloaded library in sanitized builds";
#else
  const TempDir dir;
  const std::vector<std::string> names = picturesIn(dir, 2, 8);
  waitFor(spawn(dir.path(), with({"-p50"}, names)));
  const std::string earlier = readFileBytes(dir.file(voiceOf(names[0])));
  for (const char* at : {"before", "after"}) {
    setenv("LD_PRELOAD", INTERRUPT_CREATE_SHIM, 1);
    setenv("TONEPIX_TEST_SIGNAL_AT", at, 1);
    const int status = waitFor(spawn(dir.path(), with({"-f0"}, names)));
    unsetenv("LD_PRELOAD");
    unsetenv("TONEPIX_TEST_SIGNAL_AT");
    ASSERT_TRUE(WIFSIGNALED(status)) << at;
    EXPECT_EQ(WTERMSIG(status), SIGTERM) << at;
    EXPECT_EQ(temporaryFiles(dir), 0) << at;
    EXPECT_EQ(readFileBytes(dir.file(voiceOf(names[0]))), earlier) << at;
  }
#endif
}

TEST(SafeReplacement, RacingRunsOnOnePictureNeverTearItsVoice) {
  TempDir dir;
  writePicture(dir.file("p.bmp"), 60, 200);
  const std::vector<std::string> names(40, "p.bmp");
  waitFor(spawn(dir.path(), with({"-f0"}, {"p.bmp"})));
  const std::string plain = readFileBytes(dir.file("p.hvx"));
  waitFor(spawn(dir.path(), with({"-f0", "-p50"}, {"p.bmp"})));
  const std::string plateau = readFileBytes(dir.file("p.hvx"));
  for (int round = 0; round < 10; ++round) {
    const Child a = spawn(dir.path(), with({"-f0"}, names));
    const Child b = spawn(dir.path(), with({"-f0", "-p50"}, names));
    for (int look = 0; look < 20; ++look) {
      const std::string now = readFileBytes(dir.file("p.hvx"));
      ASSERT_TRUE(now == plain || now == plateau) << "torn while running, round " << round;
    }
    waitFor(a);
    waitFor(b);
    const std::string after = readFileBytes(dir.file("p.hvx"));
    ASSERT_TRUE(after == plain || after == plateau) << "torn, round " << round;
  }
  EXPECT_EQ(temporaryFiles(dir), 0);
}

TEST(SafeReplacement, AFailedWriteKeepsTheEarlierVoiceThroughLinksAndWithItsMode) {
  TempDir dir;
  writePicture(dir.file("big.bmp"), 32, 90);
  writePicture(dir.file("small.bmp"), 1, 90);
  writePicture(dir.file("full.bmp"), 128, 90);  // written from the voice record itself
  writeFileBytes(dir.file("full.hvx"), "earlier full voice");
  fs::create_directory(dir.file("voices"));
  ASSERT_EQ(symlink("voices/target.hvx", dir.file("big.hvx").c_str()), 0);
  writeFileBytes(dir.file("voices/target.hvx"), "earlier voice");
  chmod(dir.file("voices/target.hvx").c_str(), 0640);

  // big.hvx (35,368 bytes) and full.hvx pass the size limit, small.hvx does not.
  const Child limited = spawn(dir.path(), {"-f0", "big.bmp", "full.bmp", "small.bmp"}, 20000);
  const int status = waitFor(limited);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(readFileBytes(dir.file(".stderr")),
            "Could not write to \"big.hvx\"\nCould not write to \"full.hvx\"\n");
  EXPECT_EQ(readFileBytes(dir.file("full.hvx")), "earlier full voice");
  EXPECT_EQ(readFileBytes(dir.file("voices/target.hvx")), "earlier voice");
  EXPECT_EQ(fs::read_symlink(dir.file("big.hvx")), "voices/target.hvx");
  EXPECT_TRUE(fs::exists(dir.file("small.hvx")));
  EXPECT_EQ(temporaryFiles(dir), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("voices")), fs::directory_iterator()), 1);

  // Without the limit the target is replaced, the link kept and its mode too.
  waitFor(spawn(dir.path(), {"-f0", "big.bmp"}));
  EXPECT_EQ(readFileBytes(dir.file("voices/target.hvx")).size(), 35368u);
  EXPECT_TRUE(fs::is_symlink(dir.file("big.hvx")));
  struct stat info {};
  stat(dir.file("voices/target.hvx").c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(SafeReplacement, AClosedStandardOutputLosesSummariesNotVoices) {
  TempDir dir;
  const std::vector<std::string> names = picturesIn(dir, 400, 4);
  const int status = waitFor(spawn(dir.path(), with({"-f0"}, names), 0, true));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const std::string& name : names) {
    const std::size_t nameBytes = name.size() - 4 + 1;  // "p12" and its 0 byte
    ASSERT_EQ(readFileBytes(dir.file(voiceOf(name))).size(),
              4 + nameBytes + 28 + 128 * (4 + 8 * 6) + 4)
        << name;
  }
}
