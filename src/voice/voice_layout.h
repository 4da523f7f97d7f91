#pragma once

#include <cstddef>
#include <cstdint>

#include "voice/voice.h"

// Where each part of a voice file goes. The writer and the reader both lay
// the file out from here.

constexpr std::int32_t kVoiceFormatVersion = 0x00010003;

// Every layer owns two consecutive slots; a layer of a single set keeps it in
// the second one.
constexpr int kSlotsPerLayer = 2;
constexpr int kMaxLayers = kVoiceSlots / kSlotsPerLayer;
constexpr int kMaxSetsPerLayer = kSlotsPerLayer;

constexpr int voiceSlot(int layer, int set, int setsPerLayer) {
  return setsPerLayer == 1 ? kSlotsPerLayer * layer + 1 : kSlotsPerLayer * layer + set;
}

// The slots a voice of a layout that fits the record holds, in file order.
// Returns how many were stored in `slots`.
int slotsInUse(const Voice& voice, int (&slots)[kVoiceSlots]);

// Byte sizes of the file's parts, and the most any voice file can take.
constexpr std::size_t kVoiceFieldBytes = 4;
constexpr std::size_t kVoiceHeaderBytes = 6 * kVoiceFieldBytes;  // reserved .. reserved1
constexpr std::size_t kLargestEnvelopeBytes =
    kVoiceFieldBytes + 2 * kVoiceFieldBytes * static_cast<std::size_t>(kEnvelopeCapacity);
constexpr std::size_t kLargestSetBytes =
    kVoiceFieldBytes + 2 * static_cast<std::size_t>(kVoiceHarmonics) * kLargestEnvelopeBytes;
constexpr std::size_t kLargestVoiceFileBytes =
    kVoiceFieldBytes + kVoiceNameBytes + 1 + kVoiceHeaderBytes +
    static_cast<std::size_t>(kVoiceSlots) * (kLargestSetBytes + kVoiceFieldBytes);
