#include "hvx/studio/studio_session.h"

#include <cctype>
#include <filesystem>

#include "hvx/files/derived_output.h"
#include "hvx/picture/prepared_name.h"
#include "hvx/studio/http/studio_access.h"
#include "hvx/studio/tonepix_recipe.h"
#include "hvx/studio/work_slots.h"
#include "hvx/voice/voice_file.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"

namespace {

constexpr std::size_t kMaxNameLength = 60;
constexpr std::size_t kKeptPreparations = 16;  // a few kilobytes each
constexpr std::size_t kIdBytes = 16;           // 128 random bits
constexpr std::size_t kKeptVoices = 64;        // about 270 KB each

std::string settingsKey(const std::string& pictureId, const PrepareSettings& settings) {
  return pictureId + "/" + std::to_string(settings.rows) + (settings.topFirst ? "t" : "b") +
         (settings.plateau ? "p" : "-") + (settings.invert ? "i" : "-");
}

// Drops the oldest entries until both limits hold, keeping the newest one.
template <typename Entry, typename SizeOf>
void keepWithin(std::deque<Entry>& entries, std::size_t& bytes, std::size_t maxBytes,
                SizeOf sizeOf) {
  while (entries.size() > 1 && (bytes > maxBytes || entries.size() > kMaxKeptItems)) {
    bytes -= sizeOf(entries.front());
    entries.pop_front();
  }
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

OutputNames outputNamesFor(const std::string& fileName) {
  // The plain stem with the file's own extension decides as `hvx prepare`
  // does; the extension itself never reaches a name.
  std::string extension = std::filesystem::path(fileName).extension().string();
  if (extension.size() > 1 && !std::isalnum(static_cast<unsigned char>(extension[1]))) {
    extension.clear();
  }
  OutputNames names;
  names.bitmap = defaultPreparedName(voiceNameFor(fileName) + extension);
  names.stem = std::filesystem::path(names.bitmap).stem().string();
  names.voice = derivedOutputName(names.bitmap, ".hvx");
  return names;
}

OutputNames openedVoiceNames(const std::string& fileName) {
  OutputNames names;
  names.stem = voiceNameFor(fileName);
  names.voice = names.stem + "-edited.hvx";
  names.bitmap = names.stem + ".bmp";
  return names;
}

std::string StudioSession::addPicture(const std::string& fileName, std::string bytes,
                                      bool fromFolder, bool drawn) {
  const std::string id = randomHex(kIdBytes);
  if (id.empty()) {
    return id;
  }
  const Picture picture{"p" + id, fileName, fromFolder,
                        std::make_shared<const std::string>(std::move(bytes)), drawn};
  std::lock_guard<std::mutex> hold(lock_);
  pictures_.push_back(picture);
  pictureBytes_ += picture.bytes->size();
  keepWithin(pictures_, pictureBytes_, kKeptPictureBytes,
             [](const Picture& kept) { return kept.bytes->size(); });
  return picture.id;
}

namespace {

// Copies the entry kept under `id` into `found`; false when none is.
template <typename Entry>
bool findKept(const std::deque<Entry>& entries, const std::string& id, Entry& found) {
  for (const Entry& kept : entries) {
    if (kept.id == id) {
      found = kept;
      return true;
    }
  }
  return false;
}

}  // namespace

bool StudioSession::findPicture(const std::string& id, Picture& picture) const {
  std::lock_guard<std::mutex> hold(lock_);
  return findKept(pictures_, id, picture);
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

namespace {

// A picture at the pixel cap takes about 130 MB while it is decoded.
constexpr int kDecodeSlots = 2;
WorkSlots decodeSlots(kDecodeSlots);

}  // namespace

bool StudioSession::prepare(const Picture& picture, const PrepareSettings& settings,
                            PreparedPicture& prepared, std::string& error) {
  const std::string key = settingsKey(picture.id, settings);
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (const Prepared& kept : prepared_) {
      if (kept.key == key) {
        prepared = kept.picture;
        return true;
      }
    }
  }
  // Decoding may take long for a hostile picture: no lock is held meanwhile,
  // so that it delays no one else's turn; only the number of decodes at once
  // is bounded, for their memory.
  const auto* data = reinterpret_cast<const unsigned char*>(picture.bytes->data());
  std::string reason;
  bool decoded = false;
  {
    const SlotHeld slot(decodeSlots);
    decoded = preparePicture(data, picture.bytes->size(), settings, prepared, reason);
  }
  if (!decoded) {
    // The reason is a clause for a command line; the page shows a sentence.
    while (!reason.empty() && reason.back() == '.') {
      reason.pop_back();
    }
    error = "\"" + picture.fileName + "\" cannot be used: " + reason + ".";
    return false;
  }
  std::lock_guard<std::mutex> hold(lock_);
  prepared_.push_back(Prepared{key, prepared});
  if (prepared_.size() > kKeptPreparations) {
    prepared_.pop_front();
  }
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
  made->names = outputNamesFor(picture.fileName);
  made->sourceName = picture.fromFolder ? picture.fileName : std::string();
  made->topFirst = settings.topFirst;
  made->seed = request.seed;
  if (!prepare(picture, settings, made->prepared, error)) {
    return false;
  }
  made->bitmap = encodePreparedBitmap(made->prepared);
  if (!toneOptionTexts(request.tone, made->optionTexts, error)) {
    return false;
  }
  made->conversion = convertLikeTonepix(made->bitmap, made->names.stem, request.tone, request.seed);
  if (!made->conversion.converted) {
    error = made->conversion.error;
    return false;
  }
  result = made;
  return keep(made, request.holdSeconds, settings.topFirst, error);
}

bool StudioSession::keep(const std::shared_ptr<StudioResult>& made, double holdSeconds,
                         bool topFirst, std::string& error) {
  VoicePreview preview = previewVoice(made->conversion.voice, holdSeconds, topFirst);
  made->previewAudio = preview.audio;
  made->voicePng = std::move(preview.png);
  made->previewSeconds = preview.seconds;
  made->previewRate = preview.sampleRate;
  made->previewError = std::move(preview.error);
  made->bytes = made->bitmap.size() + made->conversion.voice.size() + made->voicePng.size() +
                (made->previewAudio != nullptr ? preview.wavBytes : 0);
  const std::string id = randomHex(kIdBytes);
  if (id.empty()) {
    error = "The studio could not make an id for the result.";
    return false;
  }
  made->id = "r" + id;
  {
    std::lock_guard<std::mutex> hold(lock_);
    results_.push_back(made);
    resultBytes_ += made->bytes;
    keepWithin(results_, resultBytes_, kKeptResultBytes,
               [](const std::shared_ptr<const StudioResult>& kept) { return kept->bytes; });
  }
  if (made->previewAudio != nullptr) {
    renderer_.submit(made->previewAudio);
  }
  return true;
}

std::string StudioSession::addVoice(const std::string& fileName, const std::string& bytes,
                                    bool fromFolder, std::string& error) {
  auto voice = std::make_shared<Voice>();
  VoiceReadError readError;
  if (bytes.size() > kLargestVoiceFileBytes) {
    error = "\"" + fileName + "\" is not a voice the studio can read: it is larger than any voice.";
    return "";
  }
  if (!readVoice(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), *voice,
                 readError)) {
    error = "\"" + fileName + "\" is not a voice the studio can read: " + readError.problem +
            " (byte " + std::to_string(readError.offset) + ").";
    return "";
  }
  auto grid = std::make_shared<VoiceGrid>();
  if (!voiceGridOf(*voice, *grid, error)) {
    error = "\"" + fileName + "\" cannot be opened: " + error;
    return "";
  }
  const std::string id = randomHex(kIdBytes);
  if (id.empty()) {
    error = "The studio could not make an id for the voice.";
    return id;
  }
  std::lock_guard<std::mutex> hold(lock_);
  voices_.push_back(KeptVoice{"v" + id, fileName, fromFolder, voice, grid, bytes});
  if (voices_.size() > kKeptVoices) {
    voices_.pop_front();
  }
  return voices_.back().id;
}

bool StudioSession::findVoice(const std::string& id, KeptVoice& voice) const {
  std::lock_guard<std::mutex> hold(lock_);
  return findKept(voices_, id, voice);
}

bool StudioSession::runVoice(const VoiceTurn& turn, std::shared_ptr<const StudioResult>& result,
                             std::string& error) {
  KeptVoice kept;
  if (!findVoice(turn.voiceId, kept)) {
    error = "That voice is no longer in the studio; please open it again.";
    return false;
  }
  auto edited = std::make_unique<Voice>();  // too big for a stack
  int unkept = 0;
  if (!applyVoiceEdit(*kept.voice, *kept.grid, turn.edit, *edited, error, &unkept)) {
    return false;
  }
  auto made = std::make_shared<StudioResult>();
  if (unkept > 0) {
    // The page still shows them drawn; the voice has no point to hold them.
    made->conversion.messages =
        std::to_string(unkept) + (unkept == 1 ? " cell" : " cells") +
        " drawn where the voice has no point were left out: past the last point of a harmonic, "
        "or on a harmonic without points when the harmonics have points at different times.";
  }
  made->conversion.voice = encodeVoiceFile(*edited);
  if (made->conversion.voice.empty()) {
    error = "The edited voice could not be assembled.";
    return false;
  }
  auto opened = std::make_shared<OpenedVoice>();
  if (!voiceGridOf(*edited, opened->grid, error)) {
    return false;
  }
  opened->fileName = kept.fileName;
  opened->voiceName = voiceNameOf(*edited);
  opened->loopStart = edited->loopStart;
  opened->loopEnd = edited->loopEnd;
  int slots[kVoiceSlots];
  opened->baseFrequency =
      slotsInUse(*edited, slots) > 0 ? edited->sets[slots[0]].baseFrequency : 0.0f;
  opened->edited = made->conversion.voice != kept.bytes;
  made->names = openedVoiceNames(kept.fileName);
  // tonepix names a voice after its picture: the picture takes that name.
  TonepixRecipe recipe;
  if (voiceNameFor(opened->voiceName) == opened->voiceName &&
      findTonepixRecipe(made->conversion.voice, opened->voiceName, recipe)) {
    opened->tonepixMakes = true;
    made->bitmap = std::move(recipe.bitmap);
    made->optionTexts = std::move(recipe.options);
    made->names.bitmap = opened->voiceName + ".bmp";
  }
  made->sourceName = kept.fromFolder ? kept.fileName : std::string();
  made->conversion.converted = true;
  made->conversion.loopStartPoint = opened->grid.loopStartRow;
  made->conversion.loopEndPoint = opened->grid.loopEndRow;
  made->conversion.harmonicCount = opened->grid.columns;
  made->prepared.rows = opened->grid.rows;
  made->prepared.sourceWidth = opened->grid.columns;
  made->prepared.sourceHeight = opened->grid.rows;
  made->prepared.uncappedRows = opened->grid.rows;
  made->prepared.grid = opened->grid.levels;
  made->opened = opened;
  result = made;
  return keep(made, turn.holdSeconds, false, error);
}
