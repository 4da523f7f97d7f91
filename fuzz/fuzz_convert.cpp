// Arbitrary bytes as a picture file, run through the whole conversion the way
// the driver runs one file argument. The first bytes choose the options, so
// that plateau mode, short harmonic counts, tempo and odd intervals get their
// share of the inputs; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "common/random_source.h"
#include "fuzz_options.h"

namespace {

std::FILE* gDevNull = nullptr;
std::string gPicturePath;
std::string gVoicePath;

void removeScratch() {
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(gPicturePath).parent_path(), error);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gDevNull = std::fopen("/dev/null", "w");
  // One summary line per picture would drown libFuzzer's own report.
  if (gDevNull == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr) {
    std::abort();
  }
  std::error_code error;
  std::string pattern =
      (std::filesystem::temp_directory_path(error) / "tonepix-fuzz-XXXXXX").string();
  if (error || mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  gPicturePath = pattern + "/picture.bmp";
  gVoicePath = pattern + "/picture.hvx";
  std::atexit(removeScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kOptionBytes) {
    return 0;
  }
  std::vector<std::string> args = optionArguments(data);
  args.push_back(gPicturePath);
  std::vector<const char*> argv{"tonepix"};
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }

  std::FILE* picture = std::fopen(gPicturePath.c_str(), "wb");
  if (picture == nullptr) {
    std::abort();
  }
  const std::size_t fileBytes = size - kOptionBytes;
  if (std::fwrite(data + kOptionBytes, 1, fileBytes, picture) != fileBytes ||
      std::fclose(picture) != 0) {
    std::abort();
  }

  // Too large for the stack; a fresh one per input keeps inputs independent.
  auto converter = std::make_unique<Converter>();
  RandomSource::seed(20240601u);
  converter->log = gDevNull;
  const int argc = static_cast<int>(argv.size());
  const ParseOutcome outcome = converter->parseOptions(argc, argv.data());
  // The synthesized options are all well formed: anything else is a parser bug.
  if (outcome.kind != ParseOutcome::Kind::FirstFile || outcome.value != argc - 1) {
    std::abort();
  }
  converter->convertFile(argv[static_cast<std::size_t>(outcome.value)]);
  // Some of libFuzzer's exits skip atexit: leave at most an empty folder.
  std::remove(gVoicePath.c_str());
  std::remove(gPicturePath.c_str());
  return 0;
}
