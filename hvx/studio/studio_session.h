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

// One turn of the loop: which picture, how to prepare it, the tonepix
// options, and how the preview should sound.
struct StudioRequest {
  std::string pictureId;
  PrepareSettings prepare;
  ToneOptions tone;
  std::uint32_t seed = 1;
  double holdSeconds = 2.0;
};

// Everything the page shows and offers after one turn.
struct StudioResult {
  std::string id;
  std::string name;  // the voice's name, also the download names' stem
  PreparedPicture prepared;
  bool topFirst = false;  // the picture's top row is point 0
  std::string bitmap;     // the prepared picture as tonepix reads it
  std::vector<std::string> optionTexts;
  ToneConversion conversion;
  std::shared_ptr<PreviewAudio> previewAudio;  // none when the voice cannot be rendered
  std::string voicePng;
  double previewSeconds = 0.0;
  std::string previewError;  // why there is no preview, when there is none
};

// The pictures the user gave the studio and the results made from them. Only
// the latest few of each are kept, which bounds the memory the server takes.
class StudioSession {
 public:
  // Keeps `bytes` under a new id; `fileName` gives the voice its name. A
  // `drawn` picture is a grid already as tonepix reads it: it is taken as it
  // is, whatever the page's preparation settings.
  std::string addPicture(const std::string& fileName, std::string bytes, bool drawn = false);

  // Prepares, converts and renders. False with one sentence in `error` when
  // the picture is unknown or unusable or tonepix refuses it.
  bool run(const StudioRequest& request, std::shared_ptr<const StudioResult>& result,
           std::string& error);

  std::shared_ptr<const StudioResult> result(const std::string& id) const;

 private:
  struct Picture {
    std::string id;
    std::string name;
    std::string fileName;  // as the user named it, for messages
    std::shared_ptr<const std::string> bytes;
    bool drawn = false;
  };
  bool findPicture(const std::string& id, Picture& picture) const;
  bool prepare(const Picture& picture, const PrepareSettings& settings, PreparedPicture& prepared,
               std::string& error);

  PreviewRenderer renderer_;
  mutable std::mutex lock_;
  std::uint64_t nextId_ = 1;
  std::deque<Picture> pictures_;
  std::deque<std::shared_ptr<const StudioResult>> results_;
  // The last preparation, reused while only the tonepix options change.
  std::mutex preparedLock_;
  std::string preparedKey_;
  PreparedPicture preparedCache_;
};

// The voice name for a picture file name: its stem, with anything but
// letters, digits, '-' and '_' turned into '_', at most 60 characters.
std::string voiceNameFor(const std::string& fileName);
