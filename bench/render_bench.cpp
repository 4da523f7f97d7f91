// Render speed: how many times faster than real time `hvx render` turns the
// largest voice tonepix makes (64 harmonics x 128 points, detuned at every
// point) into audio, with a 2 s hold at 48 kHz, on one core.
//   render_bench [RUNS]
// Prints every run and the median real-time factors, by the process's CPU time
// (what one core does, whatever else the machine runs) and by the wall clock.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "hvx/audio/voice_render.h"
#include "voice/voice.h"

namespace {

// A voice shaped like tonepix's output for a 128-row picture of noise.
void buildLargestVoice(Voice& voice) {
  resetVoice(voice);
  const float interval = 0.3f;
  voice.loopStart = static_cast<float>(33.0 * static_cast<double>(interval));
  voice.loopEnd = static_cast<float>(126.0 * static_cast<double>(interval));
  std::uint32_t state = 12345u;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 16777216.0;
  };
  EnvelopeSet& set = voice.sets[1];
  for (int h = 0; h < kVoiceHarmonics; ++h) {
    Envelope& amplitude = set.amplitudeEnvelopes[h];
    Envelope& frequency = set.frequencyEnvelopes[h];
    amplitude.count = kEnvelopeCapacity;
    frequency.count = kEnvelopeCapacity;
    for (int p = 0; p < kEnvelopeCapacity; ++p) {
      const auto time = static_cast<float>(static_cast<double>(p) * static_cast<double>(interval));
      amplitude.times[p] = time;
      frequency.times[p] = time;
      amplitude.values[p] = static_cast<float>(0.4 * next());
      frequency.values[p] =
          static_cast<float>(static_cast<double>(h + 1) * (1.0 + 0.01 * (next() - 0.5)));
    }
  }
}

// CPU time of the process, which renders on one thread: what one core does.
double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  auto voice = std::make_unique<Voice>();
  buildLargestVoice(*voice);
  RenderSettings settings;  // 2 s hold, 48 kHz, normalized
  std::vector<double> byCpu;
  std::vector<double> byWall;
  for (int run = 0; run < runs; ++run) {
    const double cpuStart = cpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    const RenderedAudio audio = renderVoice(*voice, settings);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    const double cpu = cpuSeconds() - cpuStart;
    const double seconds =
        static_cast<double>(audio.samples.size()) / static_cast<double>(audio.sampleRate);
    byCpu.push_back(seconds / cpu);
    byWall.push_back(seconds / wall.count());
    std::printf("run %d: %.3f s of audio in %.4f s CPU (%.0fx), %.4f s wall (%.0fx)\n", run + 1,
                seconds, cpu, byCpu.back(), wall.count(), byWall.back());
  }
  std::printf("median over %d runs: %.0fx real time by CPU time, %.0fx by wall time\n", runs,
              median(byCpu), median(byWall));
  return 0;
}
