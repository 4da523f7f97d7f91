// hvx prepare: any picture in, the bitmap tonepix reads as drawn out.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hvx/cli/subcommands.h"
#include "hvx/files/derived_output.h"
#include "hvx/files/file_io.h"
#include "hvx/files/safe_write.h"
#include "hvx/picture/picture_prepare.h"
#include "hvx/picture/prepared_name.h"
#include "hvx/voice/printable_text.h"
#include "image/bitmap_format.h"
#include "image/bitmap_naming.h"

namespace {

constexpr const char* kName = "prepare";

struct PrepareOptions {
  std::vector<std::string> pictures;
  std::string output;
  bool force = false;
  PrepareSettings settings;
};

// The footer's figures come from the limits themselves.
std::string footer() {
  return R"(Reads PNG (8 or 16 bits), JPEG, BMP (any depth, palette or RLE compression,
either row order), GIF (first frame), TGA and binary PNM (8 or 16 bits)
pictures, upright as a viewer shows them: a JPEG's EXIF orientation is
applied. Transparent parts are laid over black, so they are silent. Colours
become grey by their luma, 0.299 red + 0.587 green + 0.114 blue (ITU-R BT.601
weights, on the picture's own values). The picture is resized to 64 columns,
one per harmonic, harmonic 1 on the left: shrinking averages the pixels each
cell covers (the image library's box filter), enlarging interpolates
linearly; grey levels are averaged as plain numbers, since tonepix takes them
as amplitudes.
A file cut short is refused, and so is one that asks for more than
)" + std::to_string(kMaxSourcePixels) +
         " pixels or " + std::to_string(kMaxJpegScans) +
         R"( JPEG scans.

Rows are envelope points, 0.3 s apart by default in tonepix. Without --rows
the picture keeps its shape, at least 1 row and at most )" +
         std::to_string(maxPreparedRows(false)) + " (" + std::to_string(maxPreparedRows(true)) +
         R"( with
--plateau): every row tonepix hears, since its loop and release points take
the last places of its )" +
         std::to_string(kMaxPoints) + R"(-point store. A taller shape is cut to the limit,
and the line says so. By default the picture's BOTTOM row is the first point in
time, so time runs upwards, as tonepix reads an ordinary bitmap;
--top-first makes the top row the first point instead.

The output is an 8-bit bitmap with a 40-byte header, an identity grey
palette and its pixels at byte 1078: exactly what tonepix reads as drawn.
Without -o it goes beside the input with the extension replaced by .bmp; a
.bmp input gets NAME-prepared.bmp instead. That name is written only when
nothing is there or the file there is a bitmap hvx prepare made; anything
else is left alone (name another output with -o, or replace it with
--force). The input is never written over; an existing output is replaced
in one step (a temporary file renamed into place), keeping its permissions.

One line per picture on standard output: input, output, size, any capping.
Exit status: 0 all prepared, 1 a picture could not be read or written,
2 usage error.)";
}

// One picture; false after its one-line error.
// The file among `taken` that `output` would write over, or null.
const std::string* takenBy(const std::string& output, const std::vector<std::string>& taken) {
  for (const std::string& name : taken) {
    if (sameFile(output, name)) {
      return &name;
    }
  }
  return nullptr;
}

bool prepareOne(const std::string& input, const std::string& output,
                const PrepareSettings& settings) {
  std::string bytes, error;
  if (!readWholeFile(input, bytes, error)) {
    reportError(kName, input + ": " + error);
    return false;
  }
  PreparedPicture picture;
  if (!preparePicture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), settings,
                      picture, error)) {
    reportError(kName, input + ": " + error);
    return false;
  }
  if (!writeFileSafely(output, encodePreparedBitmap(picture), error)) {
    reportError(kName, output + ": " + error);
    return false;
  }
  std::string line = printableText(input) + " -> " + printableText(output) + ": " +
                     std::to_string(kPictureWidth) + " x " + std::to_string(picture.rows) +
                     " from " + std::to_string(picture.sourceWidth) + " x " +
                     std::to_string(picture.sourceHeight);
  if (picture.capped) {
    line += ", rows capped at " + std::to_string(picture.rows) +
            ", all tonepix hears (its shape asks for " + std::to_string(picture.uncappedRows) + ")";
  }
  std::fputs((line + "\n").c_str(), stdout);
  return true;
}

int runPrepare(const PrepareOptions& options) {
  const int limit = maxPreparedRows(options.settings.plateau);
  if (options.settings.rows > limit) {
    reportError(kName, "--rows " + std::to_string(options.settings.rows) + " is more than the " +
                           std::to_string(limit) + " rows tonepix hears in plateau mode");
    return kExitUsage;
  }
  if (!options.output.empty()) {
    if (options.pictures.size() > 1) {
      reportError(kName, "-o names one output, so it takes one picture");
      return kExitUsage;
    }
    if (!hasBitmapName(options.output.c_str())) {
      reportError(kName,
                  "-o " + options.output + ": tonepix only reads names containing .bmp or .BMP");
      return kExitUsage;
    }
  }
  int status = kExitOk;
  // Neither a picture of this run nor an output it already wrote is ever
  // written over, however it is named.
  std::vector<std::string> written;
  std::string error;
  for (const std::string& input : options.pictures) {
    const std::string output = options.output.empty() ? defaultPreparedName(input) : options.output;
    if (const std::string* picture = takenBy(output, options.pictures)) {
      reportError(kName, input + ": the output " + output + " would write over the picture " +
                             *picture + "; not written");
      status = kExitProblem;
    } else if (takenBy(output, written) != nullptr) {
      reportError(kName, input + ": the output " + output +
                             " was just written from another picture; not written");
      status = kExitProblem;
    } else if (options.output.empty() &&
               !mayWriteDerived(output, input, isPreparedBitmap, options.force, error)) {
      reportError(kName, input + ": " + error);
      status = kExitProblem;
    } else if (prepareOne(input, output, options.settings)) {
      written.push_back(output);
    } else {
      status = kExitProblem;
    }
  }
  return status;
}

}  // namespace

Subcommand addPrepareCommand(CLI::App& hvx) {
  auto options = std::make_shared<PrepareOptions>();
  CLI::App* app = hvx.add_subcommand(
      kName, "Make the 64-column greyscale bitmap tonepix reads, from any picture.");
  app->add_option("PICTURE", options->pictures, "Pictures to prepare")->required();
  app->add_option("-o,--output", options->output,
                  "Output bitmap (one picture only); default: see below");
  app->add_option("--rows", options->settings.rows,
                  "Envelope points, 1 to " + std::to_string(maxPreparedRows(false)) + " (" +
                      std::to_string(maxPreparedRows(true)) +
                      " with --plateau); default: keep the shape")
      ->check(CLI::Range(1, maxPreparedRows(false)));
  app->add_flag("--top-first", options->settings.topFirst,
                "Make the picture's top row the first point in time (default: bottom row)");
  app->add_flag("--plateau", options->settings.plateau,
                "At most " + std::to_string(maxPreparedRows(true)) +
                    " rows, for tonepix's plateau mode (-p)");
  app->add_flag("--invert", options->settings.invert, "Make dark loud and light quiet");
  app->add_flag("--force", options->force,
                "Without -o: replace a file at the output's name that hvx did not make");
  app->footer(footer());
  return Subcommand{app, [options] { return runPrepare(*options); }};
}
