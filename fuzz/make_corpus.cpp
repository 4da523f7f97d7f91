// Writes the seed corpora of both fuzz targets:
//   make_fuzz_corpus <repo>/fuzz/corpus
// convert/: option bytes (see fuzz_options.h) followed by a picture file:
// valid pictures of several heights and option mixes, truncated files and
// headers that lie about the picture's size. options/: command lines, one
// argument per NUL-separated piece.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_options.h"
#include "image/bitmap_writer.h"

namespace {

namespace fs = std::filesystem;

// Index into kFuzzIntegerOptions.
enum Option : std::size_t { P, T, D, R, Z, N, F };

struct Options {
  std::uint8_t bytes[kOptionBytes] = {};
  Options& set(Option option, int value) {
    bytes[option] = fuzzOptionByte(option, value);
    return *this;
  }
  Options& tempo(int timingByte) {
    bytes[kTimingByte] = static_cast<std::uint8_t>(timingByte);
    return *this;
  }
  Options& verbose() {
    bytes[kVerbosityByte] = 1;
    return *this;
  }
};

std::vector<std::uint8_t> gradient(int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * height));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>((i * 37) % 256);
  }
  return pixels;
}

std::string picture(int width, int height) { return makeBitmap(width, height, gradient(height)); }

bool gFailed = false;

void put(const fs::path& path, const std::string& bytes) {
  if (!writeFileBytes(path.string(), bytes)) {
    std::fprintf(stderr, "make_fuzz_corpus: could not write %s\n", path.string().c_str());
    gFailed = true;
  }
}

void putConvert(const fs::path& dir, const char* name, const Options& options,
                const std::string& file) {
  put(dir / name, std::string(options.bytes, options.bytes + kOptionBytes) + file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_corpus <corpus folder>\n");
    return 2;
  }
  const fs::path convert = fs::path(argv[1]) / "convert";
  const fs::path options = fs::path(argv[1]) / "options";
  std::error_code error;
  fs::create_directories(convert, error);
  fs::create_directories(options, error);

  const Options none;
  putConvert(convert, "h1", none, picture(64, 1));
  putConvert(convert, "h4-verbose-f0", Options().set(F, 0).verbose(), picture(64, 4));
  putConvert(convert, "h32-shaping", Options().set(D, 20).set(R, 30).set(Z, 10).set(N, 100),
             picture(64, 32));
  putConvert(convert, "h63-plateau", Options().set(P, 50).set(T, 8), picture(64, 63));
  putConvert(convert, "h64-plateau-full-bpm", Options().set(P, 100).tempo(2 * 10 + 1),
             picture(64, 64));
  putConvert(convert, "h128-interval", Options().set(T, 1).set(F, 100).tempo(2 * 7),
             picture(64, 128));

  const std::string valid = picture(64, 32);
  putConvert(convert, "empty", none, "");
  putConvert(convert, "magic-only", none, "BM");
  putConvert(convert, "header-only", none, valid.substr(0, 54));
  putConvert(convert, "colour-table-cut", none, valid.substr(0, 54 + 500));
  putConvert(convert, "pixels-cut", none, valid.substr(0, 54 + 1024 + 100));
  putConvert(convert, "wrong-magic", none, "MB" + valid.substr(2, 52));
  // Headers that lie, cut after the header: the loader refuses them first.
  const struct {
    const char* name;
    std::int32_t width;
    std::int32_t height;
  } lies[] = {{"width0", 0, 4},
              {"width63", 63, 4},
              {"width65", 65, 4},
              {"width-64", -64, 4},
              {"width-max", 0x7FFFFFFF, 4},
              {"height0", 64, 0},
              {"height-1", 64, -1},
              {"height129", 64, 129},
              {"height-max", 64, 0x7FFFFFFF},
              {"height-min", 64, -0x7FFFFFFF - 1}};
  for (const auto& lie : lies) {
    putConvert(convert, lie.name, none, makeBitmap(lie.width, lie.height, {}).substr(0, 54));
  }
  putConvert(convert, "height65-plateau", Options().set(P, 10),
             makeBitmap(64, 65, {}).substr(0, 54));

  using namespace std::string_literals;  // "..."s keeps the NUL separators
  const std::string lines[] = {
      "-v\0-t32\0-i0.5\0pad.bmp"s,
      "-b120\0-p50\0-i2\0A.BMP\0b.bmp.old"s,
      "-d-1\0-r101\0-z100\0-n0\0-f-5\0dir\\x.bmp"s,
      "-i1e-3\0-t4294967297\0-V\0x.Bmp"s,
      "-i 8.01D0\0-tabc\0-b9\0a/b.v2.bmp\0-v"s,
      "--"s,
      "-t"s,
      "-h\0-q"s,
      "x"s,
  };
  int index = 0;
  for (const std::string& line : lines) {
    put(options / ("line" + std::to_string(index++)), line);
  }
  return gFailed ? 1 : 0;
}
