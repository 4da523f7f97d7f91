// hvx render: hear a voice without the synthesizer.
#include <cstdio>
#include <memory>
#include <string>

#include "hvx/audio/audio_encoding.h"
#include "hvx/audio/note_name.h"
#include "hvx/audio/preview_file.h"
#include "hvx/audio/voice_render.h"
#include "hvx/cli/subcommands.h"
#include "hvx/files/derived_output.h"
#include "hvx/files/file_io.h"
#include "hvx/voice/printable_text.h"
#include "hvx/voice/voice_file.h"

namespace {

struct RenderOptions {
  std::string voice;
  std::string output;
  double frequency = 0;
  std::string note;
  RenderSettings settings;
  bool noNormalize = false;
  bool force = false;
};

std::string describeLevel(double magnitude) {
  char text[64];
  if (magnitude > 0.0) {
    std::snprintf(text, sizeof text, "%.2f dBFS", toDecibels(magnitude));
    return text;
  }
  return "silent";
}

std::string describeResult(const RenderOptions& options, const PreviewFile& audio,
                           double baseFrequency) {
  char text[256];
  std::snprintf(text, sizeof text, ": %.6f s at %d Hz, base %.2f Hz, peak %s, gain %+.2f dB",
                static_cast<double>(audio.samples) / static_cast<double>(audio.sampleRate),
                audio.sampleRate, baseFrequency, describeLevel(audio.peak).c_str(),
                toDecibels(audio.gain));
  std::string line = printableText(options.voice) + " -> " + printableText(options.output) + text;
  if (audio.clipped) {
    line += ", clipped at full scale (leave out --no-normalize to avoid it)";
  }
  return line + "\n";
}

int runRender(RenderOptions& options) {
  // Never flute.wav by default: that may be the sound the voice was made from.
  std::string refusal;
  if (!chooseOutputForVoice(options.output, options.voice, ".preview.wav", "RIFF", options.force,
                            refusal)) {
    reportError("render", refusal);
    return kExitProblem;
  }
  AudioFormat format = AudioFormat::Wav;
  audioFormatForPath(options.output, format);  // the option's check accepted it
  auto voice = std::make_unique<Voice>();
  std::string problem;
  if (!loadVoiceFile(options.voice, *voice, problem)) {
    reportError("render", options.voice + ": " + problem);
    return kExitProblem;
  }
  RenderSettings& settings = options.settings;
  settings.normalize = !options.noNormalize;
  settings.frequency = options.frequency;
  if (!options.note.empty()) {
    noteFrequency(options.note, settings.frequency);  // the option's check accepted it
  }
  problem = renderProblem(*voice, settings);
  if (!problem.empty()) {
    reportError("render", options.voice + ": " + problem);
    return kExitProblem;
  }
  PreviewFile audio;
  if (!writePreviewFile(*voice, settings, options.output, format, audio, problem)) {
    reportError("render", options.output + ": " + problem);
    return kExitProblem;
  }
  const double base = settings.frequency > 0.0 ? settings.frequency : voiceBaseFrequency(*voice);
  std::fputs(describeResult(options, audio, base).c_str(), stdout);
  return kExitOk;
}

}  // namespace

Subcommand addRenderCommand(CLI::App& hvx) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* app = hvx.add_subcommand("render", "Hear a voice: render a preview to an audio file.");
  app->footer(
      "Render a voice to an audio file: a preview by plain additive synthesis, not a model of any\n"
      "synthesizer. Every harmonic is a sine at the base frequency times its frequency envelope,\n"
      "scaled by its amplitude envelope; envelopes run in straight lines between breakpoints and\n"
      "harmonics at or above half the sample rate are left out.\n"
      "Sustain: the envelopes play from 0 to the loop end, then from the loop start to the loop\n"
      "end again and again until --hold seconds have passed since the loop end was first\n"
      "reached, then on from the loop end to the last breakpoint (the release). The release\n"
      "starts exactly --hold seconds after the loop end, without a jump: each envelope goes in a\n"
      "straight line from where the loop stands to its next breakpoint after the loop end, then\n"
      "on as written. A loop of zero length holds its point.\n"
      "A key let go: with --gate, the key is held SECONDS from the start; the release starts\n"
      "there at once, wherever the voice stands (in the attack, in the loop or past it), each\n"
      "envelope going in a straight line to its next breakpoint after the loop end as after\n"
      "--hold, and lasts the voice's release time (loop end to last breakpoint).\n"
      "The file lasts (last breakpoint + hold) seconds, or (gate + release time) with --gate,\n"
      "rounded to the nearest sample.\n"
      "Prints the duration, the peak before gain and the gain applied.");
  app->add_option("voice", options->voice, "Voice file (.hvx)")->required();
  app->add_option("-o,--output", options->output,
                  "Audio file to write; its extension picks the format: .wav, .flac, .aif/.aiff\n"
                  "(24-bit PCM) or .ogg (Vorbis). Default: the voice's path with .preview.wav")
      ->check([](const std::string& path) {
        AudioFormat format = AudioFormat::Wav;
        return audioFormatForPath(path, format)
                   ? std::string()
                   : std::string("the extension must be .wav, .flac, .aif, .aiff or .ogg");
      });
  CLI::Option* frequency =
      app->add_option("--freq", options->frequency,
                      "Play the base frequency at HZ (transposes every harmonic); default: the\n"
                      "voice's own base frequency")
          ->check(finiteRange(1.0, 20000.0));
  app->add_option("--note", options->note,
                  "Like --freq, by note name: C-1..G9, # or b, A4 = 440 Hz")
      ->check([](const std::string& name) {
        double hertz = 0;
        return noteFrequency(name, hertz) ? std::string()
                                          : std::string("not a note name from C-1 to G9");
      })
      ->excludes(frequency);
  CLI::Option* hold =
      app->add_option("--hold", options->settings.holdSeconds, "Seconds of sustain (default 2)")
          ->check(finiteRange(0.0, kMaxHoldSeconds));
  app->add_option("--gate", options->settings.gateSeconds,
                  "Let the key go SECONDS from the start: the release starts there at once")
      ->check(finiteRange(0.0, kMaxHoldSeconds))
      ->excludes(hold);
  app->add_option("--rate", options->settings.sampleRate, "Sample rate in Hz (default 48000)")
      ->check(CLI::Range(kMinSampleRate, kMaxSampleRate));
  app->add_flag("--force", options->force,
                "Without -o, replace a file at the default name even if hvx did not make it");
  app->add_flag("--no-normalize", options->noNormalize,
                "Keep the voice's own level (clipped at full scale, and said so) instead of\n"
                "scaling the peak to -1 dBFS");
  return Subcommand{app, [options] { return runRender(*options); }};
}
