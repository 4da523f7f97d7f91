// hvx analyze: start a voice from a recorded sound.
#include <algorithm>
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
#include "hvx/analysis/note_parts.h"
#include "hvx/analysis/pitch.h"
#include "hvx/analysis/sound_picture.h"
#include "hvx/analysis/sound_reader.h"
#include "hvx/analysis/sustain_loop.h"
#include "hvx/audio/note_name.h"
#include "hvx/cli/subcommands.h"
#include "hvx/files/derived_output.h"
#include "hvx/files/file_io.h"
#include "hvx/files/safe_write.h"
#include "hvx/files/shell_word.h"
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
constexpr double kVoiceIntervalStep = 0.005;
// tonepix scales the loudest cell to this percentage by default (-n).
constexpr int kTonepixCeiling = 40;
// Sound read before the note's onset, at most, beyond what the points hold.
constexpr double kLeadingAllowance = 5.0;

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
  int ceiling = kTonepixCeiling;
  bool force = false;
  bool json = false;
};

const char* kFooter = R"(Reads WAV, FLAC, AIFF and Ogg sounds (any sample rate from 8 to 192 kHz,
any sample format; channels are mixed to one). At most 10 minutes and 16777216
samples (frames x channels) are read, from --start, --length seconds long: a
longer sound is read in part; a --length that needs more is refused, and so is
MP3.

The pitch is found with YIN (30 Hz to 4.2 kHz) unless --note or --freq names
it; a constant level has none. The note's parts are found from its level:
onset (the leading silence left out), attack (until the level first reaches
the body's), body (where the level holds), note end (where the final decay
begins), and the decay down to the trailing silence; a sound whose level
only falls has no body. Harmonics 1 to 64 are measured from the onset at
points --interval seconds apart (or 60/BPM with -b, as tonepix reads it),
following the pitch as it moves; harmonics at or above half the sample rate
are 0.

The picture (default: SOUND with .analysis.bmp) is the bitmap tonepix reads:
64 columns, the first point in the bottom row, the loudest cell 255. It runs
from the onset to the note end, so that tonepix's loop (rows n/4+1 to n,
counted from 0) lies on the body; without --interval or -b its rows are the
finest interval tonepix reads (down to -b1000, 0.06 s) that holds the note in
126 rows and starts the loop after the attack. tonepix adds its own release;
one line says what was left out. Each column holds what the sound has at the
exact harmonic tonepix plays, played at the pitch where they hold the most. --voice writes a voice
directly, from the onset to the end of the decay, points down to 0.02 s
(without --interval the finest that holds the note in 127), each harmonic's
own frequency as its ratio, a sustain loop on the steadiest stretch of the
body within 3 dB of its level (a short one late in the decay when there is
no body), the sound's decay after it, the loudest amplitude at --ceiling.
Both print the commands that play them back.
Exit status: 0 written, 1 the sound could not be used or an output not
written, 2 usage error.)";

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The interval as tonepix will hold it.
double heldInterval(double seconds) { return static_cast<double>(static_cast<float>(seconds)); }

std::string tonepixCommand(const AnalyzeOptions& options, const PictureTiming& timing,
                           const std::string& picture) {
  const std::string ceiling =
      options.ceiling == kTonepixCeiling ? "" : " -n" + std::to_string(options.ceiling);
  return "tonepix -f0" + ceiling + " " + tonepixTiming(timing) + " " + shellWord(picture);
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
  if (picture && options.bpm == 0 && options.interval > 0.0 &&
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
std::string describePart(const Sound& sound, double from, int points, double interval, bool cut,
                         const char* holds) {
  const double start = sound.startSeconds + from;
  const double end = start + (points - 1) * interval;
  std::string line =
      "analysed " + formatted("%.3f", start) + " .. " + formatted("%.3f", end) + " s";
  if (start > 0.0 || end < sound.fileSeconds - 1e-9) {
    line += " of " + formatted("%.3f", sound.fileSeconds) + " s";
  }
  line += ": " + std::to_string(points) + " points " + formatted("%g", interval) + " s apart";
  if (cut) {
    line += std::string(" (") + holds + "; choose the part with --start and --length)";
  }
  return line;
}

// The interval a voice gets when none is given: the finest step from
// `finest` that fits `seconds` in `points` points.
double chosenInterval(double seconds, int points, double step, double finest) {
  const double fitting = seconds / (points - 1);
  return std::clamp(std::ceil(fitting / step - 1e-9) * step, finest, kCoarsestInterval);
}

std::string describeParts(const NoteParts& parts, double offset) {
  std::string line = "parts: onset " + formatted("%.3f", offset + parts.onset) + " s";
  if (parts.body) {
    line += ", attack to " + formatted("%.3f", offset + parts.attackEnd) + " s, body at " +
            formatted("%.1f", parts.bodyLevel) + " dBFS to the note end " +
            formatted("%.3f", offset + parts.noteEnd) + " s";
  } else {
    line += ", loudest at " + formatted("%.3f", offset + parts.attackEnd) +
            " s, no body (the level only falls), 30 dB down at " +
            formatted("%.3f", offset + parts.noteEnd) + " s";
  }
  return line + ", silent from " + formatted("%.3f", offset + parts.end) + " s";
}

int runAnalyze(AnalyzeOptions& options) {
  int status = kExitOk;
  if (!chooseOutputs(options, status)) {
    return status;
  }
  const bool voiceOnly = options.picture.empty();
  const double given =
      options.bpm > 0 ? heldInterval(60.0 / options.bpm) : options.interval;  // 0: chosen here
  // 0: chosen from the note.
  const double askedVoiceInterval = options.bpm > 0 ? given : options.interval;
  SoundRequest request;
  request.start = options.start;
  request.length = options.length;
  // An interval chosen from the note needs the whole note; one given, what
  // the points hold and some silence before the note.
  const double covered =
      voiceOnly ? (kMaxVoicePoints - 0.5) * askedVoiceInterval : (kMaxAnalysisRows - 0.5) * given;
  request.maxLength = covered == 0.0 ? kMaxAnalysedSeconds
                                     : std::min(kMaxAnalysedSeconds, covered + kLeadingAllowance);
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
    pitch = foundPitch(sound);
    pitchFrom = "sound";
    if (pitch == 0.0) {
      reportError(kName, options.sound +
                             ": no pitch found (silence or noise?); name it with --note or --freq");
      return kExitProblem;
    }
  }
  // Rendering at the printed frequency gives back the measured ones.
  const double reference = std::round(pitch * 100.0) / 100.0;
  const NoteParts parts = findNoteParts(sound, pitch);
  const double offset = sound.startSeconds;
  const double from = parts.onset;

  std::string lines;
  lines += options.sound + ": " + std::to_string(sound.sampleRate) + " Hz, " +
           (sound.channels == 1 ? std::string("mono")
                                : std::to_string(sound.channels) + " channels mixed to one") +
           ", " + formatted("%.3f", sound.fileSeconds) + " s" +
           (sound.cutByDecoding
                ? "; read up to " + formatted("%.3f", sound.startSeconds + sound.seconds()) +
                      " s, the " + std::to_string(kMaxDecodedSamples) +
                      " samples hvx decodes at most (choose the part with --start and --length)"
                : std::string()) +
           "\n";
  lines += "pitch: " + describePitch(reference) +
           (pitchFrom == "sound" ? std::string() : ", from " + pitchFrom) + "\n";
  lines += describeParts(parts, offset) + "\n";
  nlohmann::ordered_json json;
  json["sound"] = options.sound;
  json["sampleRate"] = sound.sampleRate;
  json["channels"] = sound.channels;
  json["seconds"] = sound.fileSeconds;
  json["analysed"] = {{"start", sound.startSeconds},
                      {"end", sound.startSeconds + sound.seconds()},
                      {"cut", sound.cut},
                      {"cutByDecoding", sound.cutByDecoding}};
  std::string noteName;
  double cents = 0;
  const bool named = nearestNote(reference, noteName, cents);
  json["pitch"] = {{"hertz", reference},
                   {"note", named ? nlohmann::ordered_json(noteName) : nullptr},
                   {"cents", named ? nlohmann::ordered_json(std::round(cents * 10) / 10) : nullptr},
                   {"from", pitchFrom}};
  json["parts"] = {
      {"onset", offset + parts.onset},
      {"attackEnd", offset + parts.attackEnd},
      {"noteEnd", offset + parts.noteEnd},
      {"end", offset + parts.end},
      {"body", parts.body},
      {"bodyLevel",
       parts.body ? nlohmann::ordered_json(std::round(parts.bodyLevel * 10) / 10) : nullptr}};
  json["interval"] = nullptr;  // the picture's when there is one, else the voice's
  json["rows"] = nullptr;
  json["ceiling"] = options.ceiling;
  json["picture"] = nullptr;
  json["pictureLoop"] = nullptr;
  json["leftOut"] = nullptr;
  json["voice"] = nullptr;
  json["loop"] = nullptr;
  json["gain"] = nullptr;
  json["commands"] = {{"tonepix", nullptr}, {"render", nullptr}};

  std::string play;
  if (!options.picture.empty()) {
    const SoundPicture analysed = analyseSoundPicture(sound, pitch, options.interval, options.bpm);
    const PictureTiming& timing = analysed.timing;
    const double interval = timing.interval;
    const int rows = timing.rows;
    const bool cut = timing.cut;
    const double played = analysed.played;
    if (!writeFileSafely(options.picture, analysed.bitmap, error)) {
      reportError(kName, options.picture + ": " + error);
      return kExitProblem;
    }
    const std::string made = voiceFileOf(options.picture);
    // tonepix loops from row rows / 4 + 1 (counted from 0) to the last.
    const int loopRow = rows / 4 + 1;
    const double loopStart = from + loopRow * interval;
    const double loopEnd = from + (rows - 1) * interval;
    const double drawnEnd = from + (rows - 1) * interval;
    lines += describePart(sound, from, rows, interval, cut, "a picture holds 126 rows") + "\n";
    lines +=
        options.sound + " -> " + options.picture + ": 64 x " + std::to_string(rows) +
        "; tonepix loops " + formatted("%.3f", offset + loopStart) + " .. " +
        formatted("%.3f", offset + loopEnd) + " s of the sound" +
        (loopStart + 1e-9 < parts.attackEnd ? " (from inside the attack: the note is short)" : "") +
        "\n";
    std::string leftOut;
    if (from > 0.0) {
      leftOut += ", " + formatted("%.3f", offset) + " .. " + formatted("%.3f", offset + from) +
                 " s before the onset";
    }
    if (drawnEnd < sound.seconds() - 1e-9) {
      leftOut += ", " + formatted("%.3f", offset + drawnEnd) + " .. " +
                 formatted("%.3f", offset + sound.seconds()) +
                 " s after the last row (tonepix adds its own release)";
    }
    leftOut = "left out of the picture: " + (leftOut.empty() ? "nothing" : leftOut.substr(2));
    lines += leftOut + "\n";
    const std::string command = tonepixCommand(options, timing, options.picture);
    play += "  " + command + "\n";
    play += "  " + renderCommand(options, made, played) + "\n";
    json["picture"] = options.picture;
    json["interval"] = interval;
    json["rows"] = rows;
    json["pictureLoop"] = {{"start", offset + loopStart}, {"end", offset + loopEnd}};
    json["leftOut"] = leftOut;
    json["commands"]["tonepix"] = command;
    json["commands"]["render"] = renderCommand(options, made, played);
  }
  if (!options.voice.empty()) {
    // Onset to the trailing silence: the sound's own decay is the release.
    const double voiceInterval = askedVoiceInterval > 0.0
                                     ? askedVoiceInterval
                                     : chosenInterval(parts.end - from, kMaxVoicePoints,
                                                      kVoiceIntervalStep, kFinestInterval);
    const int points = pointsFitting(parts.end - from, voiceInterval, kMaxVoicePoints);
    const bool cut = parts.end - from > (kMaxVoicePoints - 1) * voiceInterval + 1e-9;
    const HarmonicFrames frames = trackHarmonics(sound, pitch, voiceInterval, points, from);
    const SustainLoop loop =
        placeLoop(frames, LoopBounds{parts.attackEnd - from, parts.noteEnd - from, parts.body});
    auto voice = std::make_unique<Voice>();
    const double gain = buildAnalysisVoice(frames, reference, loop, options.ceiling / 100.0,
                                           stemOf(options.voice), *voice);
    if (!writeVoiceFile(options.voice, *voice, error)) {
      reportError(kName, options.voice + ": " + error);
      return kExitProblem;
    }
    const double loopStart = from + loop.start * voiceInterval;
    const double loopEnd = from + loop.end * voiceInterval;
    lines +=
        describePart(sound, from, points, voiceInterval, cut, "a voice holds 127 points") + "\n";
    lines += options.sound + " -> " + options.voice + ": " + std::to_string(points) +
             " points, loop " + formatted("%.3f", offset + loopStart) + " .. " +
             formatted("%.3f", offset + loopEnd) + " s of the sound" +
             (loop.onBody ? " (on the body)" : " (late in the decay: no body)") + ", silent at " +
             formatted("%.3f", points * voiceInterval) + " s, " +
             (gain > 0.0 ? "gain " + formatted("%+.2f", 20.0 * std::log10(gain)) +
                               " dB to a peak of " + std::to_string(options.ceiling) + " %"
                         : std::string("silent: nothing above -120 dBFS")) +
             "\n";
    play += "  " + renderCommand(options, options.voice, reference) + "\n";
    json["voice"] = options.voice;
    if (voiceOnly) {
      json["interval"] = voiceInterval;
      json["rows"] = points;
    }
    json["loop"] = {{"start", offset + loopStart},
                    {"end", offset + loopEnd},
                    {"voiceStart", loop.start * voiceInterval},
                    {"voiceEnd", loop.end * voiceInterval},
                    {"onBody", loop.onBody}};
    json["gain"] = gain;
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
                      "Seconds between points: 0.1 to 8 for a picture, down to 0.02 for\n"
                      "--voice alone (default: the finest that holds the note)")
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
  app->add_option("--ceiling", options->ceiling,
                  "The loudest amplitude, in percent of full scale (default 40, as tonepix -n)")
      ->check(CLI::Range(1, 100));
  app->add_flag("--force", options->force,
                "Replace a file at the default picture name that hvx did not make");
  app->add_flag("--json", options->json,
                "Print pitch, points, interval, loop and the commands as JSON");
  app->footer(kFooter);
  return Subcommand{app, [options] { return runAnalyze(*options); }};
}
