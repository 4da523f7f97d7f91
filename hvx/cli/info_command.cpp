// hvx info: what a voice file holds, and whether it is well formed.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hvx/cli/subcommands.h"
#include "hvx/voice/printable_text.h"
#include "hvx/voice/voice_file.h"
#include "hvx/voice/voice_json.h"
#include "hvx/voice/voice_summary.h"

namespace {

struct InfoOptions {
  std::vector<std::string> voices;
  bool json = false;
};

// One entry of the JSON array, printed as soon as its file is read so that
// only one voice is held at a time; the bytes are those of the whole array
// printed at once with an indent of 1.
void printJsonEntry(const VoiceJson& entry, bool first) {
  // Names are bytes from the file; anything that is not UTF-8 is replaced.
  const std::string text = entry.dump(1, ' ', false, nlohmann::detail::error_handler_t::replace);
  std::string indented = first ? "[\n " : ",\n ";
  for (char c : text) {
    indented += c;
    if (c == '\n') {
      indented += ' ';  // JSON strings hold no raw line breaks: each one is layout
    }
  }
  std::fputs(indented.c_str(), stdout);
}

int runInfo(const InfoOptions& options) {
  auto voice = std::make_unique<Voice>();
  bool allValid = true;
  bool first = true;
  for (const std::string& path : options.voices) {
    std::string problem;
    const bool valid = loadVoiceFile(path, *voice, problem);
    if (!valid) {
      allValid = false;
      reportError("info", path + ": " + problem);
    }
    if (options.json) {
      VoiceJson entry{{"file", path}, {"valid", valid}};
      if (valid) {
        entry["voice"] = voiceToJson(*voice);
      } else {
        entry["problem"] = problem;
      }
      printJsonEntry(entry, first);
      first = false;
    } else if (valid) {
      std::fputs((printableText(path) + ": valid\n" + summarizeVoice(*voice)).c_str(), stdout);
    }
  }
  if (options.json) {
    std::fputs("\n]\n", stdout);
  }
  return allValid ? kExitOk : kExitProblem;
}

}  // namespace

Subcommand addInfoCommand(CLI::App& hvx) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* app =
      hvx.add_subcommand("info", "Say what voice files hold, and whether each is well formed.");
  app->footer(
      "Say what voice files hold: name, sustain loop, base frequency, points, duration, sets in "
      "use\n"
      "and per harmonic the peak amplitude and the detune range in cents. A file that is not a\n"
      "well-formed voice gets one line on standard error naming the problem and its byte offset.\n"
      "Exit status: 0 when every file is valid, 1 otherwise, 2 for a usage error.");
  app->add_option("voices", options->voices, "Voice files (.hvx)")->required();
  app->add_flag(
      "--json", options->json,
      "Print the whole decoded voice (every envelope's times and values) as JSON: an array\n"
      "with one object per file, {file, valid, voice} or {file, valid, problem}");
  return Subcommand{app, [options] { return runInfo(*options); }};
}
