#include "hvx/studio/studio_session.h"

#include <cctype>

namespace {

// Pictures and results kept at once. An upload can be large, so few.
constexpr std::size_t kKeptPictures = 4;
constexpr std::size_t kKeptResults = 6;
constexpr std::size_t kMaxNameLength = 60;

std::string settingsKey(const std::string& pictureId, const PrepareSettings& settings) {
  return pictureId + "/" + std::to_string(settings.rows) + (settings.topFirst ? "t" : "b") +
         (settings.plateau ? "p" : "-") + (settings.invert ? "i" : "-");
}

}  // namespace

std::string voiceNameFor(const std::string& fileName) {
  std::string stem = fileName;
  const std::size_t slash = stem.find_last_of("/\\");
  if (slash != std::string::npos) {
    stem = stem.substr(slash + 1);
  }
  const std::size_t dot = stem.find_last_of('.');
  if (dot != std::string::npos && dot > 0) {
    stem = stem.substr(0, dot);
  }
  std::string name;
  for (const char c : stem) {
    if (name.size() == kMaxNameLength) {
      break;
    }
    const bool kept = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    name += kept ? c : '_';
  }
  return name.empty() || name[0] == '_' ? "picture" + name : name;
}

std::string StudioSession::addPicture(const std::string& fileName, std::string bytes, bool drawn) {
  std::lock_guard<std::mutex> hold(lock_);
  Picture picture{"p" + std::to_string(nextId_++), voiceNameFor(fileName), fileName,
                  std::make_shared<const std::string>(std::move(bytes)), drawn};
  pictures_.push_back(picture);
  if (pictures_.size() > kKeptPictures) {
    pictures_.pop_front();
  }
  return picture.id;
}

bool StudioSession::findPicture(const std::string& id, Picture& picture) const {
  std::lock_guard<std::mutex> hold(lock_);
  for (const Picture& kept : pictures_) {
    if (kept.id == id) {
      picture = kept;
      return true;
    }
  }
  return false;
}

std::shared_ptr<const StudioResult> StudioSession::result(const std::string& id) const {
  std::lock_guard<std::mutex> hold(lock_);
  for (const auto& kept : results_) {
    if (kept->id == id) {
      return kept;
    }
  }
  return nullptr;
}

bool StudioSession::prepare(const Picture& picture, const PrepareSettings& settings,
                            PreparedPicture& prepared, std::string& error) {
  const std::string key = settingsKey(picture.id, settings);
  std::lock_guard<std::mutex> hold(preparedLock_);
  if (key != preparedKey_) {
    const auto* data = reinterpret_cast<const unsigned char*>(picture.bytes->data());
    preparedKey_.clear();
    std::string reason;
    if (!preparePicture(data, picture.bytes->size(), settings, preparedCache_, reason)) {
      // The reason is a clause for a command line; the page shows a sentence.
      while (!reason.empty() && reason.back() == '.') {
        reason.pop_back();
      }
      error = "\"" + picture.fileName + "\" cannot be used: " + reason + ".";
      return false;
    }
    preparedKey_ = key;
  }
  prepared = preparedCache_;
  return true;
}

bool StudioSession::run(const StudioRequest& request, std::shared_ptr<const StudioResult>& result,
                        std::string& error) {
  Picture picture;
  if (!findPicture(request.pictureId, picture)) {
    error = "That picture is no longer in the studio; please choose it again.";
    return false;
  }
  PrepareSettings settings = request.prepare;
  if (picture.drawn) {  // its rows, bottom row first, as drawn
    settings.rows = 0;
    settings.topFirst = false;
    settings.invert = false;
  }
  const int rowLimit = maxPreparedRows(settings.plateau);
  if (settings.rows > rowLimit) {
    error = "Rows must be 1 to " + std::to_string(rowLimit) +
            " in plateau mode, or 0 to keep the shape.";
    return false;
  }
  auto made = std::make_shared<StudioResult>();
  made->name = picture.name;
  made->topFirst = settings.topFirst;
  if (!prepare(picture, settings, made->prepared, error)) {
    return false;
  }
  made->bitmap = encodePreparedBitmap(made->prepared);
  if (!toneOptionTexts(request.tone, made->optionTexts, error)) {
    return false;
  }
  made->conversion = convertLikeTonepix(made->bitmap, made->name, made->optionTexts, request.seed);
  if (!made->conversion.converted) {
    error = made->conversion.error;
    return false;
  }
  VoicePreview preview =
      previewVoice(made->conversion.voice, request.holdSeconds, settings.topFirst);
  made->previewAudio = preview.audio;
  made->voicePng = std::move(preview.png);
  made->previewSeconds = preview.seconds;
  made->previewError = std::move(preview.error);
  {
    std::lock_guard<std::mutex> hold(lock_);
    made->id = "r" + std::to_string(nextId_++);
    results_.push_back(made);
    if (results_.size() > kKeptResults) {
      results_.pop_front();
    }
  }
  if (made->previewAudio != nullptr) {
    renderer_.submit(made->previewAudio);
  }
  result = made;
  return true;
}
