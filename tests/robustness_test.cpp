// Whole runs against hostile pictures and hostile outputs: one bad file costs
// one message line and nothing else.
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

TEST(HostilePictures, EachBadFileCostsOneLineAndTheGoodOneConvertsAsAlone) {
  const std::string good = ramp(32);
  const std::string rows4 = ramp(4).substr(54);
  auto lying = [&](std::int32_t width, std::int32_t height) {
    return makeBitmap(width, height, {}).substr(0, 54) + rows4;
  };
  const std::vector<std::string> bad = {
      "",
      "BM",
      "MB" + good.substr(2),
      lying(0, 4),
      lying(65, 4),
      lying(-64, 4),
      lying(0x7FFFFFFF, 4),
      lying(64, 0),
      lying(64, -1),
      lying(64, 129),
      lying(64, 0x7FFFFFFF),
  };
  TempDir dir;
  std::vector<std::string> args = {"-f0", "-d0", "-r0", "folder.bmp",
                                   std::string(300, 'n') + ".bmp"};
  fs::create_directory(dir.file("folder.bmp"));
  for (std::size_t i = 0; i < bad.size(); ++i) {
    args.push_back("bad" + std::to_string(i) + ".bmp");
    writeFileBytes(dir.file(args.back()), bad[i]);
  }
  args.insert(args.begin() + 8, "good.bmp");
  writeFileBytes(dir.file("good.bmp"), good);

  const RunResult run = runTonepix(args, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(static_cast<std::size_t>(std::count(run.err.begin(), run.err.end(), '\n')),
            bad.size() + 2);
  for (std::size_t i = 0; i < bad.size(); ++i) {
    const std::string name = "bad" + std::to_string(i);
    EXPECT_NE(run.err.find("Input file: \"" + name + ".bmp\", "), std::string::npos) << name;
    EXPECT_FALSE(fs::exists(dir.file(name + ".hvx"))) << name;
  }
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
  EXPECT_TRUE(sameAsAlone(dir, "good", good));
}

TEST(HostilePictures, TruncatedFilesLoadWithZeroesForTheMissingBytes) {
  // Each follows a bright picture, whose rows must not stand in for the
  // missing bytes.
  const std::string whole = ramp(8);
  for (const std::size_t cut : {std::size_t{54}, std::size_t{54 + 1024 + 64 * 3 + 17}}) {
    TempDir dir;
    writePicture(dir.file("bright.bmp"), 8, 255);
    writeFileBytes(dir.file("cut.bmp"), whole.substr(0, cut));
    const RunResult run = runTonepix({"-f0", "-d0", "-r0", "bright.bmp", "cut.bmp"}, dir.path());
    EXPECT_EQ(run.err, "");
    std::string padded = whole.substr(0, cut);
    padded.resize(whole.size(), '\0');
    EXPECT_TRUE(sameAsAlone(dir, "cut", padded)) << cut;
  }
}

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
