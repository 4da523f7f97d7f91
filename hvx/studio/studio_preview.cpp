#include "hvx/studio/studio_preview.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <utility>

#include "hvx/audio/audio_encoding.h"
#include "hvx/studio/work_slots.h"
#include "hvx/voice/voice_picture.h"
#include "voice/voice_reader.h"

namespace {

// The rate `hvx render` uses by default, so that the preview holds the same
// harmonics (those below 24 kHz) as a rendered file.
constexpr int kPreviewSampleRate = RenderSettings{}.sampleRate;
constexpr int kRateStep = 1000;
// How far behind the requests the renderer thread runs (a nice value).
constexpr int kRenderNiceness = 10;

// Bounds the memory of renders running at once, whichever thread runs them.
WorkSlots renderSlots(kPreviewRenderSlots);

// The full rate when the preview fits kMaxPreviewSamples, else the highest
// whole kilohertz that fits; 0 when even the lowest rate does not.
int previewRateFor(double seconds) {
  const double fullRate = kMaxPreviewSamples / (seconds > 0.0 ? seconds : 1.0);
  if (fullRate >= kPreviewSampleRate) {
    return kPreviewSampleRate;
  }
  const int rate = static_cast<int>(fullRate) / kRateStep * kRateStep;
  return rate >= kMinSampleRate ? rate : 0;
}

}  // namespace

PreviewAudio::PreviewAudio(std::shared_ptr<const Voice> voice, const RenderSettings& settings)
    : voice_(std::move(voice)), settings_(settings) {}

bool PreviewAudio::renderIfQueued(State expected) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ != expected) {
      return false;
    }
    state_ = State::Rendering;
  }
  renderSlots.take();
  auto bytes = std::make_shared<const std::string>(encodeWav(renderVoice(*voice_, settings_)));
  renderSlots.give();
  voice_.reset();  // the samples are all that is needed now
  {
    std::lock_guard<std::mutex> hold(lock_);
    wav_ = std::move(bytes);
    state_ = State::Done;
  }
  done_.notify_all();
  return true;
}

void PreviewAudio::drop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_ == State::Queued) {
      state_ = State::Dropped;
    }
  }
  done_.notify_all();
}

std::shared_ptr<const std::string> PreviewAudio::wav() {
  {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [this] { return state_ == State::Done || state_ == State::Dropped; });
  }
  renderIfQueued(State::Dropped);  // someone wants it after all
  std::unique_lock<std::mutex> hold(lock_);
  done_.wait(hold, [this] { return state_ == State::Done; });
  return wav_;
}

VoicePreview previewVoice(const std::string& voiceFile, double holdSeconds, bool topFirst) {
  VoicePreview preview;
  auto voice = std::make_shared<Voice>();  // too big for a stack
  VoiceReadError readError;
  if (!readVoice(reinterpret_cast<const unsigned char*>(voiceFile.data()), voiceFile.size(), *voice,
                 readError)) {
    preview.error = "The voice could not be read back: " + describeVoiceReadError(readError) + ".";
    return preview;
  }
  PictureSettings drawing;
  drawing.topFirst = topFirst;
  preview.png = drawVoicePng(*voice, drawing);
  RenderSettings settings;
  settings.holdSeconds = holdSeconds;
  settings.sampleRate = kPreviewSampleRate;
  settings.normalize = true;
  const std::string problem = renderProblem(*voice, settings);
  if (!problem.empty()) {
    preview.error = "No preview: " + problem + ".";
    return preview;
  }
  preview.seconds = static_cast<double>(renderedSampleCount(*voice, settings)) /
                    static_cast<double>(settings.sampleRate);
  settings.sampleRate = previewRateFor(preview.seconds);
  if (settings.sampleRate == 0) {
    preview.error = "No preview: the voice lasts " + std::to_string(std::lround(preview.seconds)) +
                    " s, longer than the studio plays; hvx render makes the whole of it.";
    return preview;
  }
  preview.sampleRate = settings.sampleRate;
  constexpr std::size_t kWavHeaderBytes = 44, kBytesPerSample = 3;
  preview.wavBytes = kWavHeaderBytes + kBytesPerSample * static_cast<std::size_t>(
                                                             renderedSampleCount(*voice, settings));
  preview.audio = std::make_shared<PreviewAudio>(std::move(voice), settings);
  return preview;
}

PreviewRenderer::PreviewRenderer() : thread_([this] { work(); }) {}

PreviewRenderer::~PreviewRenderer() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void PreviewRenderer::submit(const std::shared_ptr<PreviewAudio>& audio) {
  std::shared_ptr<PreviewAudio> overtaken;
  {
    std::lock_guard<std::mutex> hold(lock_);
    overtaken = std::exchange(pending_, audio);
  }
  if (overtaken != nullptr) {
    overtaken->drop();
  }
  wake_.notify_all();
}

void PreviewRenderer::work() {
  // Previews render behind the page's requests: an edit's picture and voice
  // come first, the audio file after.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kRenderNiceness);
  for (;;) {
    std::shared_ptr<PreviewAudio> next;
    {
      std::unique_lock<std::mutex> hold(lock_);
      wake_.wait(hold, [this] { return stopping_ || pending_ != nullptr; });
      if (stopping_) {
        if (pending_ != nullptr) {
          pending_->drop();  // a request still waiting renders it itself
        }
        return;
      }
      next = std::exchange(pending_, nullptr);
    }
    next->renderIfQueued(PreviewAudio::State::Queued);
  }
}
