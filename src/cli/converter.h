#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "cli/message_sink.h"
#include "cli/option_table.h"
#include "common/store_limits.h"

// Longest path or name a Converter field holds, without its terminator.
constexpr int kMaxPathLength = 255;

// Marker the loader leaves in ratio[0][0]: ratios not yet computed.
constexpr float kRatiosPending = -666.0f;

// Loader results besides 0 (loaded).
constexpr int kSkipCannotOpen = 2;
constexpr int kSkipNotBitmap = 3;
constexpr int kSkipWidth = 9854;
constexpr int kSkipHeight = 9877;
constexpr int kSkipPathTooLong = 9255;
constexpr int kSkipNotBmpName = 86753;
// writeVoice result when the voice file could not be written.
constexpr int kWriteFailed = 6642;

struct Voice;
struct VoiceRecord;

// What parseOptions found: where the file names start, a request for help, or
// a command-line fault with its exit code.
struct ParseOutcome {
  enum class Kind { FirstFile, Help, Error };
  Kind kind;
  int value;  // the first file's index, or the error code; 0 for Help
};

// The whole state of a run. One instance converts every picture on the command
// line; settings persist from file to file, the per-file fields are
// overwritten by each load.
class Converter {
 public:
  Converter();
  virtual ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Command line (src/cli).
  ParseOutcome parseOptions(int argc, const char* const* argv);
  // One option's value, as the parser sets it: stored, or clamped to the
  // option's range with its warning on `log`. For programs that take the
  // values from elsewhere; finish with settleTiming().
  void setWholeOption(const ToneOption& option, std::int32_t value);
  void setSecondsOption(const ToneOption& option, double seconds);
  // The tempo, once set, wins over the interval.
  void settleTiming();

  // Picture input (src/image). nameInput() checks a file argument's name and
  // derives the voice's path and name from it; loadBitmapBytes() then loads
  // the picture from bytes already read, and loadBitmap() does all three for
  // a path. Each returns 0, or a skip code once the reason is on `log`.
  int nameInput(const char* argument);
  int loadBitmapBytes(const unsigned char* bytes, std::size_t size);
  int loadBitmap(const char* argument);

  // Amplitude shaping, ratios and envelope closing (src/harmonics).
  int decimate();
  int randomize();
  int cutNoise();
  int scaleAmplitudes();
  int computeRatios();
  int closeEnvelope();
  // Every stage on the loaded picture, in the order that decides where each
  // random draw lands.
  void runStages();

  // Voice output (src/voice). buildVoice() assembles the voice of the
  // converted picture, held by the Converter until the next one (null when
  // no memory is left for it); writeVoice() builds it and writes it to
  // outputPath.
  const Voice* buildVoice();
  int writeVoice();

  // One file argument, start to finish: load, run the stages, write. Returns
  // 0 once the voice is written, else the loader's skip code or
  // kWriteFailed; either failure has been reported on `log`.
  int convertFile(const char* argument);

  char inputPath[kMaxPathLength + 1];
  char outputPath[kMaxPathLength + 1];
  char voiceName[kMaxPathLength + 1];
  float loopStart = 0.0f;
  float loopEnd = 0.0f;
  // The sustain loop's first and last points, as the summary line gives them.
  std::int32_t loopStartPoint = 0;
  std::int32_t loopEndPoint = 0;
  MessageSink log;
  std::int32_t verbosity = 0;
  std::int32_t harmonicCount = optionDefault('t');
  std::int32_t normalizePercent = optionDefault('n');
  std::int32_t noiseFloorPercent = optionDefault('z');
  std::int32_t decimatePercent = optionDefault('d');
  float interval = optionDefaultSeconds('i');
  std::int32_t pointCount = 1;
  std::int32_t bpm = optionDefault('b');
  std::int32_t plateauPercent = optionDefault('p');
  std::int32_t randomPercent = optionDefault('r');
  std::int32_t freqDelta = optionDefault('f');
  float amplitude[kMaxPoints][kMaxHarmonics];
  float ratio[kMaxPoints][kMaxHarmonics];
  // Where the summary line of each converted picture goes: standard output
  // for tonepix; programs that run conversions for a page take it elsewhere.
  MessageSink summary;
  // Where writeVoice() assembles each voice; made at its first call.
  std::unique_ptr<VoiceRecord> voiceRecord;
};
