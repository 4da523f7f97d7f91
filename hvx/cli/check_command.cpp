// hvx check: what tonepix will read from each bitmap, and whether that is the
// picture as drawn.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hvx/cli/subcommands.h"
#include "hvx/files/file_io.h"
#include "hvx/files/shell_word.h"
#include "hvx/picture/bitmap_check.h"
#include "hvx/picture/prepared_name.h"
#include "hvx/voice/printable_text.h"
#include "image/bitmap_naming.h"

namespace {

constexpr const char* kName = "check";

const char* kFooter = R"(For each file, one line with what tonepix will read (width x rows, bits per
pixel, compression, header size, pixel-data offset, palette, row order,
whether the file is complete, whether every row is heard in plateau mode),
then a verdict:
  FILE: ok                      tonepix reads the picture as drawn
  FILE: unheard: ROWS ...       tonepix reads it, but its last rows are never
                                heard: the loop and release points take
                                their places (rows past 126, or 62 with -p)
  FILE: misread: REASONS; ...   tonepix takes it but reads something else
  FILE: skipped: REASONS; ...   tonepix refuses it
with the hvx prepare command that makes a good copy.
Exit status: 0 all ok, 1 any file not ok (unheard, misread, skipped) or
unreadable, 2 usage error.)";

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    text += (text.empty() ? "" : "; ") + part;
  }
  return text;
}

const char* verdictWord(BitmapReport::Verdict verdict) {
  switch (verdict) {
    case BitmapReport::Verdict::Ok:
      return "ok";
    case BitmapReport::Verdict::Unheard:
      return "unheard";
    case BitmapReport::Verdict::Misread:
      return "misread";
    case BitmapReport::Verdict::Skipped:
      break;
  }
  return "skipped";
}

bool checkOne(const std::string& path, bool plateau) {
  std::string bytes, error;
  if (!readWholeFile(path, bytes, error)) {
    reportError(kName, path + ": " + error);
    return false;
  }
  BitmapReport report = checkBitmap(bytes, plateau);
  if (!hasBitmapName(path.c_str())) {
    report.verdict = BitmapReport::Verdict::Skipped;
    report.reasons.insert(report.reasons.begin(),
                          "tonepix only takes names containing .bmp or .BMP");
  }
  const std::string shown = printableText(path);
  std::string text = shown + ": " + describeBitmap(report) + "\n" + shown + ": ";
  text += verdictWord(report.verdict);
  if (report.verdict == BitmapReport::Verdict::Ok) {
    text += "\n";
  } else {
    text += ": " + joined(report.reasons) + ". Fix: hvx prepare " +
            std::string(plateau ? "--plateau " : "") + printableText(shellWord(path)) +
            " (writes " + printableText(defaultPreparedName(path)) + ")\n";
  }
  std::fputs(text.c_str(), stdout);
  return report.verdict == BitmapReport::Verdict::Ok;
}

}  // namespace

Subcommand addCheckCommand(CLI::App& hvx) {
  auto files = std::make_shared<std::vector<std::string>>();
  auto plateau = std::make_shared<bool>(false);
  CLI::App* app = hvx.add_subcommand(
      kName, "Say whether tonepix reads each bitmap as drawn, and how to fix it.");
  app->add_option("PICTURE", *files, "Bitmaps to check")->required();
  app->add_flag("--plateau", *plateau, "Check for tonepix's plateau mode (-p)");
  app->footer(kFooter);
  return Subcommand{app, [files, plateau] {
                      int status = kExitOk;
                      for (const std::string& path : *files) {
                        if (!checkOne(path, *plateau)) {
                          status = kExitProblem;
                        }
                      }
                      return status;
                    }};
}
