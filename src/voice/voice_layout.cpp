#include "voice/voice_layout.h"

int slotsInUse(const Voice& voice, int (&slots)[kVoiceSlots]) {
  int used = 0;
  for (int layer = 0; layer < voice.layerCount && layer < kMaxLayers; ++layer) {
    const int sets = voice.setsPerLayer == 1 ? 1 : voice.setsPerLayer;
    for (int set = 0; set < sets && set < kMaxSetsPerLayer; ++set) {
      slots[used++] = voiceSlot(layer, set, voice.setsPerLayer);
    }
  }
  return used;
}
