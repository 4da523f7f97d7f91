#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "hvx/picture/picture_prepare.h"
#include "hvx/studio/studio_conversion.h"
#include "hvx/studio/studio_preview.h"
#include "hvx/studio/studio_voice.h"

// One turn of the loop: which picture, how to prepare it, the tonepix
// options, and how the preview should sound.
struct StudioRequest {
  std::string pictureId;
  PrepareSettings prepare;
  ToneOptions tone;
  std::uint32_t seed = 1;
  double holdSeconds = 2.0;
};

// One turn for a voice file opened as it is: which one, the page's edit of
// it, and how long the preview holds.
struct VoiceTurn {
  std::string voiceId;
  VoiceEdit edit;
  double holdSeconds = 2.0;
};

// What the page shows of an opened voice, as edited.
struct OpenedVoice {
  std::string fileName;   // the file it was opened from, as the user named it
  std::string voiceName;  // the name the voice holds
  VoiceGrid grid;
  float loopStart = 0.0f;
  float loopEnd = 0.0f;
  float baseFrequency = 0.0f;  // of its first set in use
  bool edited = false;         // its bytes differ from the file's
  // tonepix makes these very bytes from the result's bitmap with its
  // option texts: shown as a command, the picture offered.
  bool tonepixMakes = false;
};

// The names a picture's outputs are saved and downloaded under, as the
// command line names them: the prepared bitmap as `hvx prepare` would
// (photo.bmp for photo.png, photo-prepared.bmp for photo.bmp), the voice as
// tonepix would from that bitmap.
struct OutputNames {
  std::string stem;    // the voice's name: the prepared bitmap's stem
  std::string bitmap;  // stem + ".bmp"
  std::string voice;   // stem + ".hvx"
};
OutputNames outputNamesFor(const std::string& fileName);
// The names an opened voice's outputs take: the edit saved beside the file
// as stem-edited.hvx, never over it unless asked, and the picture tonepix
// would make it from as stem.bmp.
OutputNames openedVoiceNames(const std::string& fileName);

// Everything the page shows and offers after one turn.
struct StudioResult {
  std::string id;
  OutputNames names;
  std::string sourceName;  // the folder file it came from; empty for an upload
  PreparedPicture prepared;
  bool topFirst = false;  // the picture's top row is point 0
  std::string bitmap;     // the prepared picture as tonepix reads it
  std::vector<std::string> optionTexts;
  std::uint32_t seed = 1;
  ToneConversion conversion;
  std::shared_ptr<PreviewAudio> previewAudio;  // none when the voice cannot be rendered
  std::string voicePng;
  double previewSeconds = 0.0;
  int previewRate = 0;
  std::string previewError;                   // why there is no preview, when there is none
  std::size_t bytes = 0;                      // memory it holds, its preview's file included
  std::shared_ptr<const OpenedVoice> opened;  // for a voice file opened; else null
};

// Memory the kept pictures and results may take. Each client's newest ones
// stay long enough to be fetched: the oldest go first, and only when these
// are exceeded.
constexpr std::size_t kKeptPictureBytes = std::size_t{96} << 20;
constexpr std::size_t kKeptResultBytes = std::size_t{128} << 20;
constexpr std::size_t kMaxKeptItems = 256;  // of each

// The pictures the user gave the studio and the results made from them.
class StudioSession {
 public:
  // Keeps `bytes` under a new id that cannot be guessed; `fileName` gives
  // the outputs their names; `fromFolder` when it is a file in the folder.
  // A `drawn` picture is a grid already as tonepix reads it: it is taken as
  // it is, whatever the page's preparation settings. Empty when no random id
  // could be made.
  std::string addPicture(const std::string& fileName, std::string bytes, bool fromFolder,
                         bool drawn = false);

  // Prepares, converts and renders. False with one sentence in `error` when
  // the picture is unknown or unusable or tonepix refuses it.
  bool run(const StudioRequest& request, std::shared_ptr<const StudioResult>& result,
           std::string& error);

  std::shared_ptr<const StudioResult> result(const std::string& id) const;

  // Keeps a voice file under a new id, like addPicture. Empty with a
  // sentence in `error` when it is not a voice the grid can show.
  std::string addVoice(const std::string& fileName, const std::string& bytes, bool fromFolder,
                       std::string& error);

  // The opened voice with the page's edit: played, shown and saved as any
  // result. False with a sentence in `error`.
  bool runVoice(const VoiceTurn& turn, std::shared_ptr<const StudioResult>& result,
                std::string& error);

 private:
  struct Picture {
    std::string id;
    std::string fileName;  // as the user named it, for messages
    bool fromFolder = false;
    std::shared_ptr<const std::string> bytes;
    bool drawn = false;
  };
  struct Prepared {
    std::string key;
    PreparedPicture picture;
  };
  struct KeptVoice {
    std::string id;
    std::string fileName;
    bool fromFolder = false;
    std::shared_ptr<const Voice> voice;
    std::shared_ptr<const VoiceGrid> grid;
    std::string bytes;  // the file as opened
  };
  bool findPicture(const std::string& id, Picture& picture) const;
  bool findVoice(const std::string& id, KeptVoice& voice) const;
  // Renders, names and keeps a result made by run() or runVoice().
  bool keep(const std::shared_ptr<StudioResult>& made, double holdSeconds, bool topFirst,
            std::string& error);
  bool prepare(const Picture& picture, const PrepareSettings& settings, PreparedPicture& prepared,
               std::string& error);

  PreviewRenderer renderer_;
  mutable std::mutex lock_;  // held only to look up or store, never while working
  std::deque<Picture> pictures_;
  std::size_t pictureBytes_ = 0;
  std::deque<std::shared_ptr<const StudioResult>> results_;
  std::size_t resultBytes_ = 0;
  // Recent preparations, reused while only the tonepix options change.
  std::deque<Prepared> prepared_;
  std::deque<KeptVoice> voices_;
};

// The voice name for a picture file name: its stem, with anything but
// letters, digits, '-' and '_' turned into '_', at most 60 characters.
std::string voiceNameFor(const std::string& fileName);
