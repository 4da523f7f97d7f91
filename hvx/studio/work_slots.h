#pragma once

#include <condition_variable>
#include <mutex>

// At most a fixed number of heavy jobs (decodes, renders) at once, whichever
// threads ask: their memory adds up, and 32 connections could each start one.
class WorkSlots {
 public:
  explicit WorkSlots(int count) : free_(count) {}

  void take() {
    std::unique_lock<std::mutex> hold(lock_);
    freed_.wait(hold, [this] { return free_ > 0; });
    --free_;
  }
  void give() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      ++free_;
    }
    freed_.notify_one();
  }

 private:
  std::mutex lock_;
  std::condition_variable freed_;
  int free_;
};

// Holds one slot for its lifetime.
class SlotHeld {
 public:
  explicit SlotHeld(WorkSlots& slots) : slots_(slots) { slots_.take(); }
  ~SlotHeld() { slots_.give(); }
  SlotHeld(const SlotHeld&) = delete;
  SlotHeld& operator=(const SlotHeld&) = delete;

 private:
  WorkSlots& slots_;
};
