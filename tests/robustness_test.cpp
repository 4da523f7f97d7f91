// Whole runs of the program against hostile pictures and hostile outputs: one
// bad file must cost one message line and nothing else.
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

namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "unterminated last line";
  return lines;
}

std::vector<std::uint8_t> ramp(int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * height));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>(i * 7 + 1);
  }
  return pixels;
}

// The voice `name`.bmp converts to when it is the only file of a run.
std::string convertedAlone(const std::string& name, const std::string& bytes) {
  TempDir dir;
  EXPECT_TRUE(writeFileBytes(dir.file(name + ".bmp"), bytes));
  const RunResult run = runTonepix({"-f0", "-d0", "-r0", name + ".bmp"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  return readFileBytes(dir.file(name + ".hvx"));
}

// Voices are too long to print usefully when they differ.
::testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "voices differ: " << actual.size() << " bytes against "
                                       << expected.size() << " expected";
}

}  // namespace

TEST(HostilePictures, EachBadFileCostsOneLineAndTheGoodOneConvertsAsAlone) {
  const std::string good = makeBitmap(64, 32, ramp(32));
  const std::string rows4 = makeBitmap(64, 4, ramp(4)).substr(54);  // palette and 4 rows
  auto lying = [&](std::int32_t width, std::int32_t height) {
    return makeBitmap(width, height, {}).substr(0, 54) + rows4;
  };
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"empty", ""},
      {"magic", "BM"},
      {"magic-wrong", "MB" + good.substr(2)},
      {"width0", lying(0, 4)},
      {"width63", lying(63, 4)},
      {"width65", lying(65, 4)},
      {"width-64", lying(-64, 4)},
      {"width-max", lying(0x7FFFFFFF, 4)},
      {"height0", lying(64, 0)},
      {"height-1", lying(64, -1)},
      {"height129", lying(64, 129)},
      {"height-max", lying(64, 0x7FFFFFFF)},
      {"height-min", lying(64, -0x7FFFFFFF - 1)},
  };
  TempDir dir;
  std::vector<std::string> args = {"-f0", "-d0", "-r0"};
  for (std::size_t i = 0; i < bad.size(); ++i) {
    ASSERT_TRUE(writeFileBytes(dir.file(bad[i].first + ".bmp"), bad[i].second));
    args.push_back(bad[i].first + ".bmp");
    if (i == bad.size() / 2) {
      ASSERT_TRUE(writeFileBytes(dir.file("good.bmp"), good));
      args.push_back("good.bmp");
    }
  }
  // Not files at all: a folder, a missing file, a name past the path limit.
  fs::create_directory(dir.file("folder.bmp"));
  const std::string tooLong = std::string(300, 'n') + ".bmp";
  for (const std::string& odd : {std::string("folder.bmp"), std::string("gone.bmp"), tooLong}) {
    args.push_back(odd);
  }

  const RunResult run = runTonepix(args, dir.path());
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> lines = linesOf(run.err);
  ASSERT_EQ(lines.size(), bad.size() + 3) << run.err;
  std::size_t line = 0;
  for (const std::string& arg : args) {
    if (arg[0] == '-' || arg == "good.bmp") {
      continue;
    }
    SCOPED_TRACE(arg);
    EXPECT_EQ(lines[line++].rfind("Input file: \"" + arg + "\", ", 0), 0u);
    const std::string stem = arg.substr(0, arg.size() - 4);
    EXPECT_FALSE(fileExists(dir.file(stem + ".hvx")));
  }
  EXPECT_EQ(linesOf(run.out).size(), 1u) << run.out;  // the good picture's summary
  EXPECT_TRUE(sameBytes(readFileBytes(dir.file("good.hvx")), convertedAlone("good", good)));
}

TEST(HostilePictures, TruncatedFilesWithAGoodHeaderLoadWithZeroesForTheMissingBytes) {
  // Truncated right after the header, inside the colour table, inside the
  // pixels. Each follows a bright picture in the same run, so nothing of that
  // picture may stand in for the missing bytes.
  const std::string whole = makeBitmap(64, 8, ramp(8));
  const std::size_t cuts[] = {54, 54 + 500, 54 + 1024 + 64 * 3 + 17};
  for (const std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("bright.bmp"), makeBitmap(64, 8, uniformPixels(8, 255))));
    ASSERT_TRUE(writeFileBytes(dir.file("cut.bmp"), whole.substr(0, cut)));
    const RunResult run = runTonepix({"-f0", "-d0", "-r0", "bright.bmp", "cut.bmp"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    std::string padded = whole.substr(0, cut);
    padded.resize(whole.size(), '\0');
    EXPECT_TRUE(sameBytes(readFileBytes(dir.file("cut.hvx")), convertedAlone("cut", padded)));
  }
}

TEST(HostileOutputs, UnwritableVoicesAreReportedAndTheRunGoesOn) {
  TempDir dir;
  for (const char* name : {"full", "folder", "nowhere", "ok"}) {
    writePicture(dir.file(std::string(name) + ".bmp"), 4, ramp(4));
  }
  ASSERT_EQ(symlink("/dev/full", dir.file("full.hvx").c_str()), 0);
  fs::create_directory(dir.file("folder.hvx"));
  // Into a folder that does not exist, by way of a dangling link.
  ASSERT_EQ(symlink("missing/nowhere.hvx", dir.file("nowhere.hvx").c_str()), 0);

  const RunResult run =
      runTonepix({"-f0", "full.bmp", "folder.bmp", "nowhere.bmp", "ok.bmp"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "Could not write to \"full.hvx\"\n"
            "Could not write to \"folder.hvx\"\n"
            "Could not write to \"nowhere.hvx\"\n");
  EXPECT_EQ(linesOf(run.out).size(), 4u);  // summaries come before the output is opened
  EXPECT_EQ(fs::read_symlink(dir.file("full.hvx")).string(), "/dev/full");
  EXPECT_TRUE(fs::is_directory(dir.file("folder.hvx")));
  EXPECT_TRUE(fs::is_empty(dir.file("folder.hvx")));
  EXPECT_FALSE(fs::exists(dir.file("missing")));
  EXPECT_TRUE(sameBytes(readFileBytes(dir.file("ok.hvx")),
                        convertedAlone("ok", readFileBytes(dir.file("ok.bmp")))));
}

TEST(HostileOutputs, AVoiceCutShortOnDiskIsRemoved) {
  // A file size limit stands in for a disk that fills up mid-write: the first
  // voice (35,368 bytes) cannot fit, the next one (6,698 bytes) can.
  TempDir dir;
  writePicture(dir.file("big.bmp"), 32, ramp(32));
  writePicture(dir.file("small.bmp"), 4, ramp(4));
  const std::string smallAlone = convertedAlone("small", readFileBytes(dir.file("small.bmp")));

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = 20000;
  void (*savedHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);  // EFBIG instead of death
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const RunResult run = runTonepix({"-f0", "big.bmp", "small.bmp"}, dir.path());
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Could not write to \"big.hvx\"\n");
  EXPECT_FALSE(fileExists(dir.file("big.hvx")));
  EXPECT_TRUE(sameBytes(readFileBytes(dir.file("small.hvx")), smallAlone));
}
