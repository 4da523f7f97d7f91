// hvx picture: see a voice's amplitude envelopes as a picture again.
#include <cstdio>
#include <memory>
#include <string>

#include "hvx/cli/subcommands.h"
#include "hvx/files/derived_output.h"
#include "hvx/files/safe_write.h"
#include "hvx/voice/printable_text.h"
#include "hvx/voice/voice_file.h"
#include "hvx/voice/voice_picture.h"

namespace {

struct PictureOptions {
  std::string voice;
  std::string output;
  PictureSettings settings;
  bool force = false;
};

int runPicture(PictureOptions& options) {
  // Never photo.png by default: that may be the picture the voice was made from.
  std::string refusal;
  if (!chooseOutputForVoice(options.output, options.voice, ".voice.png", "\x89PNG\r\n\x1a\n",
                            options.force, refusal)) {
    reportError("picture", refusal);
    return kExitProblem;
  }
  auto voice = std::make_unique<Voice>();
  std::string problem;
  if (!loadVoiceFile(options.voice, *voice, problem)) {
    reportError("picture", options.voice + ": " + problem);
    return kExitProblem;
  }
  const GreyPicture picture = drawVoice(*voice, options.settings);
  if (picture.pixels.empty()) {
    reportError("picture", options.voice + ": has no amplitude breakpoints to draw");
    return kExitProblem;
  }
  const std::string png = encodePng(picture);
  if (png.empty() || !writeFileSafely(options.output, png, problem)) {
    reportError("picture",
                options.output + ": " + (png.empty() ? "cannot encode the PNG" : problem));
    return kExitProblem;
  }
  std::fputs((printableText(options.voice) + " -> " + printableText(options.output) + ": " +
              std::to_string(picture.width) + "x" + std::to_string(picture.height) + "\n")
                 .c_str(),
             stdout);
  return kExitOk;
}

}  // namespace

Subcommand addPictureCommand(CLI::App& hvx) {
  auto options = std::make_shared<PictureOptions>();
  CLI::App* app =
      hvx.add_subcommand("picture", "See a voice: draw its amplitude envelopes as a PNG.");
  app->footer(
      "Draw a voice's amplitude envelopes as a greyscale PNG: one pixel column per harmonic\n"
      "(harmonic 1 on the left; 64 columns per set the voice holds), one pixel row per "
      "breakpoint.\n"
      "The first breakpoint is the bottom row, the way tonepix and hvx prepare read a picture's\n"
      "bottom row as the first envelope point; --top-first puts it at the top.");
  app->add_option("voice", options->voice, "Voice file (.hvx)")->required();
  app->add_option("-o,--output", options->output,
                  "PNG file to write (default: the voice's path with .voice.png)");
  app->add_flag("--force", options->force,
                "Without -o, replace a file at the default name even if hvx did not make it");
  app->add_flag("--absolute", options->settings.absolute,
                "Amplitude 1.0 is white (255) instead of the voice's largest amplitude, so that a\n"
                "voice made with tonepix -n100 gives back the picture's grey levels");
  app->add_flag("--top-first", options->settings.topFirst,
                "Put the first breakpoint in the top row");
  app->add_option("--scale", options->settings.scale, "Draw every cell as N x N pixels (default 1)")
      ->check(CLI::Range(1, kMaxPictureScale));
  return Subcommand{app, [options] { return runPicture(*options); }};
}
