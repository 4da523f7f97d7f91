// hvx analyze: start a voice from a recorded sound.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "hvx/analysis/analysis_picture.h"
#include "hvx/analysis/analysis_voice.h"
#include "hvx/analysis/harmonic_track.h"
#include "hvx/analysis/pitch.h"
#include "hvx/analysis/sound_reader.h"
#include "hvx/analysis/sustain_loop.h"
#include "hvx/audio/note_name.h"
#include "hvx/cli/shell_word.h"
#include "hvx/cli/subcommands.h"
#include "hvx/files/derived_output.h"
#include "hvx/files/file_io.h"
#include "hvx/files/safe_write.h"
#include "hvx/picture/prepared_name.h"
#include "hvx/voice/printable_text.h"
#include "hvx/voice/voice_file.h"
#include "image/bitmap_format.h"
#include "image/bitmap_naming.h"

namespace {

constexpr const char* kName = "analyze";
// Points closer than this say nothing a window of a few periods can tell.
constexpr double kFinestInterval = 0.02;
constexpr double kCoarsestInterval = 8.0;
// The intervals tonepix reads with -i, compared in single precision as it does.
constexpr float kFinestPictureInterval = 0.1f;
constexpr double kDefaultPictureInterval = 0.1;
constexpr double kDefaultVoiceInterval = 0.05;

struct AnalyzeOptions {
  std::string sound;
  std::string picture;  // -o
  std::string voice;    // --voice
  double interval = 0;  // 0: the default for what is written
  int bpm = 0;
  std::string note;
  double frequency = 0;
  double start = 0;
  double length = 0;
  bool force = false;
  bool json = false;
};

const char* kFooter = R"(Reads WAV, FLAC, AIFF and Ogg sounds (any sample rate from 8 to 192 kHz,
any sample format; channels are mixed to one). At most 10 minutes are read:
the part from --start, --length seconds long, and never more than the points
written can hold (126 rows for a picture, 127 points for a voice). A part of
more than 16777216 samples (frames x channels) is refused; so is MP3.

The pitch is found with YIN (30 Hz to 4.2 kHz) unless --note or --freq names
it. Harmonics 1 to 64 are measured at points --interval seconds apart (or
60/BPM with -b, as tonepix reads it), each looked for next to the harmonics
below it, following the pitch as it moves; harmonics at or above half the
sample rate are 0.

The picture (default: SOUND with .analysis.bmp) is the bitmap tonepix reads:
64 columns, the first point in the bottom row, the loudest cell 255; its
interval must be one tonepix reads (0.1 to 8 s). --voice writes a voice
directly: points down to 0.02 s, each harmonic's own frequency as its ratio,
a sustain loop on the steadiest stretch and the sound's decay after it.
Both print the commands that play them back.
Exit status: 0 written, 1 the sound could not be used or an output not
written, 2 usage error.)";

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The interval as tonepix will hold it.
double pictureInterval(const AnalyzeOptions& options) {
  return options.bpm > 0 ? static_cast<double>(static_cast<float>(60.0 / options.bpm))
                         : static_cast<double>(static_cast<float>(options.interval));
}

std::string tonepixCommand(const AnalyzeOptions& options, const std::string& picture) {
  std::string timing;
  if (options.bpm > 0) {
    timing = "-b" + std::to_string(options.bpm);
  } else {
    timing = "-i" + formatted("%.9g", static_cast<double>(static_cast<float>(options.interval)));
    // tonepix reads "0.1" as just below its own lower bound and says so; 600
    // beats a minute are the same 0.1 s without the warning.
    if (std::atof(timing.c_str() + 2) < static_cast<double>(kFinestPictureInterval)) {
      timing = "-b600";
    }
  }
  return "tonepix -f0 -n100 " + timing + " " + shellWord(picture);
}

std::string renderCommand(const AnalyzeOptions& options, const std::string& voice,
                          double referenceHertz) {
  std::string command = "hvx render ";
  command += options.note.empty() ? "--freq " + formatted("%.2f", referenceHertz)
                                  : "--note " + options.note;
  // render's own default output (the voice's name with .wav) could be the
  // sound itself.
  const std::string preview = std::filesystem::path(voice).replace_extension(".wav").string();
  if (sameFile(preview, options.sound)) {
    command += " -o " + shellWord(derivedOutputName(voice, ".preview.wav"));
  }
  return command + " " + shellWord(voice);
}

std::string voiceFileOf(const std::string& picture) {
  char path[4096];
  deriveOutputPath(picture.c_str(), path, sizeof path);
  return path;
}

std::string stemOf(const std::string& path) { return std::filesystem::path(path).stem().string(); }

// The outputs' names, checked before any work is done. False after the
// error line, with the exit status in `status`.
bool chooseOutputs(AnalyzeOptions& options, int& status) {
  status = kExitUsage;
  if (!options.picture.empty() && !hasBitmapName(options.picture.c_str())) {
    reportError(kName,
                "-o " + options.picture + ": tonepix only reads names containing .bmp or .BMP");
    return false;
  }
  const bool picture = options.voice.empty() || !options.picture.empty();
  if (options.interval == 0.0) {
    options.interval = picture ? kDefaultPictureInterval : kDefaultVoiceInterval;
  }
  if (picture && options.bpm == 0 &&
      static_cast<float>(options.interval) < kFinestPictureInterval) {
    reportError(kName, "--interval " + formatted("%g", options.interval) +
                           " is finer than a picture can hold (tonepix reads 0.1 to 8 s); finer "
                           "points go into --voice alone");
    return false;
  }
  status = kExitProblem;
  if (picture && options.picture.empty()) {
    options.picture = derivedOutputName(options.sound, ".analysis.bmp");
    std::string error;
    if (!mayWriteDerived(options.picture, options.sound, isPreparedBitmap, options.force, error)) {
      reportError(kName, error);
      return false;
    }
  }
  for (const std::string* output : {&options.picture, &options.voice}) {
    if (!output->empty() && sameFile(*output, options.sound)) {
      reportError(kName, *output + ": is the sound itself; not written");
      return false;
    }
  }
  if (!options.picture.empty() && !options.voice.empty() &&
      sameFile(options.picture, options.voice)) {
    reportError(kName, options.voice + ": names the picture too; not written");
    return false;
  }
  return true;
}

// Where the analysis starts, what it covers, and why it stops there.
std::string describePart(const Sound& sound, int points, double interval, bool voiceOnly) {
  const double end = sound.startSeconds + sound.seconds();
  std::string line =
      "analysed " + formatted("%.3f", sound.startSeconds) + " .. " + formatted("%.3f", end) + " s";
  if (sound.startSeconds > 0.0 || end < sound.fileSeconds - 1e-9) {
    line += " of " + formatted("%.3f", sound.fileSeconds) + " s";
  }
  line += ": " + std::to_string(points) + " points " + formatted("%g", interval) + " s apart";
  if (sound.cut) {
    line += voiceOnly ? " (a voice holds " + std::to_string(kMaxVoicePoints) + " points"
                      : " (a picture holds " + std::to_string(kMaxAnalysisRows) + " rows";
    line += "; choose the part with --start and --length)";
  }
  return line;
}

int runAnalyze(AnalyzeOptions& options) {
  int status = kExitOk;
  if (!chooseOutputs(options, status)) {
    return status;
  }
  const bool voiceOnly = options.picture.empty();
  // A picture's interval is the one tonepix will hold; -b sets either.
  const double interval =
      voiceOnly && options.bpm == 0 ? options.interval : pictureInterval(options);
  const int most = voiceOnly ? kMaxVoicePoints : kMaxAnalysisRows;
  SoundRequest request;
  request.start = options.start;
  request.length = options.length;
  request.maxLength = std::min(kMaxAnalysedSeconds, (most - 1) * interval + 0.5 * interval);
  Sound sound;
  std::string error;
  if (!readSoundFile(options.sound, request, sound, error)) {
    reportError(kName, options.sound + ": " + error);
    return kExitProblem;
  }
  double pitch = options.frequency;
  std::string pitchFrom = "--freq";
  if (!options.note.empty()) {
    noteFrequency(options.note, pitch);  // the option's check accepted it
    pitchFrom = "--note";
  } else if (pitch == 0.0) {
    pitch = soundPitch(sound);
    pitchFrom = "sound";
    if (pitch == 0.0) {
      reportError(kName, options.sound +
                             ": no pitch found (silence or noise?); name it with --note or --freq");
      return kExitProblem;
    }
    pitch = refinePitch(sound, pitch);
  }
  // Rendering at the printed frequency gives back the measured ones.
  const double reference = std::round(pitch * 100.0) / 100.0;
  const int points = pointsFitting(sound.seconds(), interval, most);
  const HarmonicFrames frames = trackHarmonics(sound, pitch, interval, points);

  std::string lines;
  lines += options.sound + ": " + std::to_string(sound.sampleRate) + " Hz, " +
           (sound.channels == 1 ? std::string("mono")
                                : std::to_string(sound.channels) + " channels mixed to one") +
           ", " + formatted("%.3f", sound.fileSeconds) + " s\n";
  lines += "pitch: " + describePitch(reference) +
           (pitchFrom == "sound" ? std::string() : ", from " + pitchFrom) + "\n";
  lines += describePart(sound, points, interval, voiceOnly) + "\n";
  nlohmann::ordered_json json;
  json["sound"] = options.sound;
  json["sampleRate"] = sound.sampleRate;
  json["channels"] = sound.channels;
  json["seconds"] = sound.fileSeconds;
  json["analysed"] = {{"start", sound.startSeconds},
                      {"end", sound.startSeconds + sound.seconds()},
                      {"cut", sound.cut}};
  std::string noteName;
  double cents = 0;
  const bool named = nearestNote(reference, noteName, cents);
  json["pitch"] = {{"hertz", reference},
                   {"note", named ? nlohmann::ordered_json(noteName) : nullptr},
                   {"cents", named ? nlohmann::ordered_json(std::round(cents * 10) / 10) : nullptr},
                   {"from", pitchFrom}};
  json["interval"] = interval;
  json["rows"] = points;
  json["picture"] = nullptr;
  json["voice"] = nullptr;
  json["loop"] = nullptr;
  json["commands"] = {{"tonepix", nullptr}, {"render", nullptr}};

  std::string play;
  if (!options.picture.empty()) {
    if (!writeFileSafely(options.picture, analysisBitmap(frames), error)) {
      reportError(kName, options.picture + ": " + error);
      return kExitProblem;
    }
    const std::string made = voiceFileOf(options.picture);
    lines += options.sound + " -> " + options.picture + ": 64 x " + std::to_string(points) + "\n";
    play += "  " + tonepixCommand(options, options.picture) + "\n";
    play += "  " + renderCommand(options, made, reference) + "\n";
    json["picture"] = options.picture;
    json["commands"]["tonepix"] = tonepixCommand(options, options.picture);
    json["commands"]["render"] = renderCommand(options, made, reference);
  }
  if (!options.voice.empty()) {
    const SustainLoop loop = steadiestLoop(frames);
    auto voice = std::make_unique<Voice>();
    buildAnalysisVoice(frames, reference, loop, stemOf(options.voice), *voice);
    if (!writeVoiceFile(options.voice, *voice, error)) {
      reportError(kName, options.voice + ": " + error);
      return kExitProblem;
    }
    lines += options.sound + " -> " + options.voice + ": " + std::to_string(points) +
             " points, loop " + formatted("%.3f", loop.start * interval) + " .. " +
             formatted("%.3f", loop.end * interval) + " s, silent at " +
             formatted("%.3f", points * interval) + " s\n";
    play += "  " + renderCommand(options, options.voice, reference) + "\n";
    json["voice"] = options.voice;
    json["loop"] = {{"start", loop.start * interval}, {"end", loop.end * interval}};
    if (!options.picture.empty()) {
      json["commands"]["renderPicture"] = json["commands"]["render"];
    }
    json["commands"]["render"] = renderCommand(options, options.voice, reference);
  }
  if (options.json) {
    std::fputs((json.dump(2) + "\n").c_str(), stdout);
  } else {
    std::fputs(printableLines(lines + "play it back:\n" + play).c_str(), stdout);
  }
  return kExitOk;
}

}  // namespace

Subcommand addAnalyzeCommand(CLI::App& hvx) {
  auto options = std::make_shared<AnalyzeOptions>();
  CLI::App* app = hvx.add_subcommand(kName, "Start a voice from a recorded sound.");
  app->add_option("SOUND", options->sound, "Sound file: WAV, FLAC, AIFF or Ogg")->required();
  app->add_option("-o,--output", options->picture,
                  "Picture to write (.bmp); default SOUND with .analysis.bmp, none with --voice");
  app->add_option("--voice", options->voice,
                  "Write a voice file (.hvx) straight from the analysis; finer than a picture");
  CLI::Option* interval =
      app->add_option("--interval", options->interval,
                      "Seconds between points: 0.1 to 8 for a picture (default 0.1), down to\n"
                      "0.02 for --voice alone (default 0.05)")
          ->check(finiteRange(kFinestInterval, kCoarsestInterval));
  app->add_option("-b,--bpm", options->bpm, "Points 60/BPM seconds apart, as tonepix -b reads it")
      ->check(CLI::Range(10, 1000))
      ->excludes(interval);
  CLI::Option* frequency = app->add_option("--freq", options->frequency,
                                           "The sound's pitch in Hz, instead of finding it")
                               ->check(finiteRange(1.0, 20000.0));
  app->add_option("--note", options->note, "The sound's pitch by note name: C-1..G9, # or b")
      ->check([](const std::string& name) {
        double hertz = 0;
        return noteFrequency(name, hertz) ? std::string()
                                          : std::string("not a note name from C-1 to G9");
      })
      ->excludes(frequency);
  app->add_option("--start", options->start, "Seconds into the sound where the analysis starts")
      ->check(finiteRange(0.0, 1e6));
  app->add_option("--length", options->length, "Seconds of sound to analyse (default: to the end)")
      ->check(finiteRange(0.001, 1e6));
  app->add_flag("--force", options->force,
                "Replace a file at the default picture name that hvx did not make");
  app->add_flag("--json", options->json,
                "Print pitch, points, interval, loop and the commands as JSON");
  app->footer(kFooter);
  return Subcommand{app, [options] { return runAnalyze(*options); }};
}
