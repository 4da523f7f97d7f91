// Whole runs against hostile outputs: a voice that cannot be written costs one
// message line and leaves nothing partial behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "bitmap_writer.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::string ramp(int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * height));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>(i * 7 + 1);
  }
  return makeBitmap(64, height, pixels);
}

// Whether `name`.hvx in `dir` holds what `picture` converts to alone.
bool sameAsAlone(const TempDir& dir, const std::string& name, const std::string& picture) {
  TempDir alone;
  writeFileBytes(alone.file(name + ".bmp"), picture);
  runTonepix({"-f0", "-d0", "-r0", name + ".bmp"}, alone.path());
  return readFileBytes(dir.file(name + ".hvx")) == readFileBytes(alone.file(name + ".hvx"));
}

}  // namespace

TEST(HostileOutputs, UnwritableVoicesAreReportedAndNothingPartialStays) {
  TempDir dir;
  for (const char* name : {"full", "folder", "nowhere", "big", "ok"}) {
    writeFileBytes(dir.file(std::string(name) + ".bmp"), ramp(name[0] == 'b' ? 32 : 4));
  }
  ASSERT_EQ(symlink("/dev/full", dir.file("full.hvx").c_str()), 0);
  fs::create_directory(dir.file("folder.hvx"));
  ASSERT_EQ(symlink("missing/nowhere.hvx", dir.file("nowhere.hvx").c_str()), 0);

  // A file size limit stands in for a disk that fills up mid-write: big.hvx
  // (35,368 bytes) cannot fit, ok.hvx can.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 20000;
  auto* savedHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limited);
  const RunResult run = runTonepix(
      {"-f0", "-d0", "-r0", "full.bmp", "folder.bmp", "nowhere.bmp", "big.bmp", "ok.bmp"},
      dir.path());
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "Could not write to \"full.hvx\"\nCould not write to \"folder.hvx\"\n"
            "Could not write to \"nowhere.hvx\"\nCould not write to \"big.hvx\"\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5);  // summaries come first
  EXPECT_EQ(fs::read_symlink(dir.file("full.hvx")), "/dev/full");
  EXPECT_TRUE(fs::is_empty(dir.file("folder.hvx")));
  EXPECT_FALSE(fs::exists(dir.file("missing")));
  EXPECT_FALSE(fs::exists(dir.file("big.hvx")));
  EXPECT_TRUE(sameAsAlone(dir, "ok", readFileBytes(dir.file("ok.bmp"))));
}
