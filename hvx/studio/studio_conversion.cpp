#include "hvx/studio/studio_conversion.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>

#include "cli/converter.h"
#include "common/random_source.h"
#include "hvx/files/file_io.h"
#include "voice/voice_layout.h"

namespace {

std::mutex conversionLock;

// Longest interval text passed on; a number needs far fewer characters.
constexpr std::size_t kMaxIntervalText = 32;

bool isDecimalText(const std::string& text) {
  if (text.empty() || text.size() > kMaxIntervalText) {
    return false;
  }
  for (const char c : text) {
    const bool allowed =
        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!allowed) {
      return false;
    }
  }
  return true;
}

// Everything a stream received, then closes it.
std::string drain(std::FILE* stream) {
  std::string text;
  if (stream == nullptr) {
    return text;
  }
  std::rewind(stream);
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
    text.append(chunk, got);
  }
  std::fclose(stream);
  return text;
}

// The voice tonepix just wrote, never more than any voice takes.
bool readVoiceWritten(const std::filesystem::path& path, std::string& bytes) {
  std::string error;
  return readFileUpTo(path.string(), kLargestVoiceFileBytes, bytes, error) == FileRead::Read;
}

bool writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

// A folder of its own for one conversion, removed when this goes.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ignored;
    std::string pattern =
        (std::filesystem::temp_directory_path(ignored) / "hvx-studio-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
  }
  ~ScratchFolder() {
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
    }
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string withoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

std::string defaultIntervalText() {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(optionDefaultSeconds('i')));
  return text;
}

bool toneOptionTexts(const ToneOptions& options, std::vector<std::string>& texts,
                     std::string& error) {
  texts.clear();
  texts.push_back("-t" + std::to_string(options.harmonics));
  if (options.useTempo) {
    texts.push_back("-b" + std::to_string(options.bpm));
  } else {
    if (!isDecimalText(options.interval)) {
      error = "The interval must be a number of seconds, such as 0.3.";
      return false;
    }
    texts.push_back("-i" + options.interval);
  }
  texts.push_back("-p" + std::to_string(options.plateau));
  texts.push_back("-d" + std::to_string(options.mute));
  texts.push_back("-r" + std::to_string(options.random));
  texts.push_back("-z" + std::to_string(options.noiseFloor));
  texts.push_back("-n" + std::to_string(options.ceiling));
  texts.push_back("-f" + std::to_string(options.detune));
  return true;
}

ToneConversion convertLikeTonepix(const std::string& bitmap, const std::string& name,
                                  const std::vector<std::string>& optionTexts, std::uint32_t seed) {
  ToneConversion result;
  ScratchFolder scratch;
  const std::string picturePath = (scratch.path() / (name + ".bmp")).string();
  // tonepix derives the voice file from the first ".bmp" in the whole path.
  if (scratch.path().empty() || picturePath.find(".bmp") != picturePath.size() - 4 ||
      picturePath.find(".BMP") != std::string::npos || !writeFile(picturePath, bitmap)) {
    result.error = "The studio could not write its temporary files.";
    return result;
  }
  std::vector<const char*> arguments{"tonepix"};
  for (const std::string& text : optionTexts) {
    arguments.push_back(text.c_str());
  }
  arguments.push_back(picturePath.c_str());

  std::FILE* messages = std::tmpfile();
  std::FILE* summary = std::tmpfile();
  if (messages == nullptr || summary == nullptr) {
    drain(messages);
    drain(summary);
    result.error = "The studio could not write its temporary files.";
    return result;
  }
  std::string voicePath;
  int loaded = -1;
  bool parsed = false;
  {
    std::lock_guard<std::mutex> hold(conversionLock);
    auto converter = std::make_unique<Converter>();  // its matrices are too big for a stack
    RandomSource::seed(seed);  // after construction, which seeds from the clock
    converter->log = messages;
    converter->summary = summary;
    const ParseOutcome outcome =
        converter->parseOptions(static_cast<int>(arguments.size()), arguments.data());
    parsed = outcome.kind == ParseOutcome::Kind::FirstFile &&
             outcome.value == static_cast<int>(arguments.size()) - 1;
    if (parsed) {
      loaded = converter->convertFile(picturePath.c_str());
      voicePath = converter->outputPath;
      result.harmonicCount = converter->harmonicCount;
      result.usedGenerator = converter->freqDelta != 0 || converter->decimatePercent != 0 ||
                             converter->randomPercent != 0;
      result.noiseFloorPercent = converter->noiseFloorPercent;
      result.ceilingPercent = converter->normalizePercent;
    }
  }
  result.messages = drain(messages);
  result.summary = withoutLineEnd(drain(summary));
  int points = 0;
  if (std::sscanf(result.summary.c_str(), "%d = %d .. %d", &points, &result.loopStartPoint,
                  &result.loopEndPoint) != 3) {
    result.loopStartPoint = result.loopEndPoint = 0;
  }
  // The scratch folder's path means nothing to the user: show the picture's name.
  for (std::size_t at = result.messages.find(picturePath); at != std::string::npos;
       at = result.messages.find(picturePath, at)) {
    result.messages.replace(at, picturePath.size(), name + ".bmp");
  }
  if (!parsed) {
    result.error = "tonepix refused these options.";
  } else if (loaded == kWriteFailed) {
    result.error = "tonepix did not write the voice file.";
  } else if (loaded != 0) {
    result.error = "tonepix could not read the prepared picture.";
  } else if (!readVoiceWritten(voicePath, result.voice) || result.voice.empty()) {
    result.error = "tonepix did not write the voice file.";
  } else {
    result.converted = true;
  }
  return result;
}
