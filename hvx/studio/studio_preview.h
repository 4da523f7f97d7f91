#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "hvx/audio/voice_render.h"
#include "voice/voice.h"

// The audio of one preview, rendered once, by the renderer's thread or by
// the first request that needs it when the renderer dropped it.
class PreviewAudio {
 public:
  PreviewAudio(std::shared_ptr<const Voice> voice, const RenderSettings& settings);

  // The WAV file's bytes, shared rather than copied; waits for the render.
  // Empty only when the audio could not be encoded.
  std::shared_ptr<const std::string> wav();

 private:
  friend class PreviewRenderer;
  enum class State { Queued, Rendering, Done, Dropped };
  // Renders unless another thread has taken it; true when this call did.
  bool renderIfQueued(State expected);
  void drop();

  std::shared_ptr<const Voice> voice_;
  RenderSettings settings_;
  std::mutex lock_;
  std::condition_variable done_;
  State state_ = State::Queued;
  std::shared_ptr<const std::string> wav_;
};

// What the page shows and plays for one voice file: the picture and the
// preview's length at once, the audio when it is rendered.
struct VoicePreview {
  std::string png;  // the voice drawn as `hvx picture` draws it
  double seconds = 0.0;
  int sampleRate = 0;
  std::size_t wavBytes = 0;             // the size the audio's file will have
  std::shared_ptr<PreviewAudio> audio;  // none when `error` says why
  std::string error;
};

// Samples one preview may hold: three minutes at the full rate. A longer
// voice is previewed at a lower rate, down to kMinSampleRate, so that a
// preview's memory (its samples while rendered, then its file) stays within
// about 60 MB whatever the page asks for.
constexpr long long kMaxPreviewSamples = 180LL * 48000;

// Previews rendered at once, each taking up to kMaxPreviewSamples floats
// while it is made; further renders wait for a slot.
constexpr int kPreviewRenderSlots = 2;

// Reads `voiceFile` (the bytes tonepix wrote) back and draws it, with the
// first point at the top or at the bottom as the page shows the picture;
// the audio holds the sustain for `holdSeconds`.
VoicePreview previewVoice(const std::string& voiceFile, double holdSeconds, bool topFirst);

// Renders previews one at a time on a thread of its own. A preview still
// waiting when a newer one comes is dropped, so quick changes do not queue
// up renders nobody will hear.
class PreviewRenderer {
 public:
  PreviewRenderer();
  ~PreviewRenderer();
  PreviewRenderer(const PreviewRenderer&) = delete;
  PreviewRenderer& operator=(const PreviewRenderer&) = delete;

  void submit(const std::shared_ptr<PreviewAudio>& audio);

 private:
  void work();

  std::mutex lock_;
  std::condition_variable wake_;
  std::shared_ptr<PreviewAudio> pending_;
  bool stopping_ = false;
  std::thread thread_;
};
