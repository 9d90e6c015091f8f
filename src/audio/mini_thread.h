#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace kellix {

using ThreadRoutine = void (*)(void* context);

// A worker thread that calls Callback over and over while Running is set. The callback is
// expected to block until it has work; until one is installed the thread idles.
struct MiniThread {
    std::thread Handle; // its get_id() is the thread's identifier
    std::atomic<uint8_t> Running{0};
    std::atomic<ThreadRoutine> Callback{nullptr};
    // Called by StopThread after clearing Running, to interrupt a Callback that is blocked
    // waiting for work; the work in progress finishes first.
    std::atomic<ThreadRoutine> Wake{nullptr};
    // Given to Callback and Wake; set before the thread starts.
    void* Context = nullptr;
};

// Sets Running and starts the thread; Running is cleared again when the thread cannot be
// created.
void StartThread(MiniThread& thread);
// Clears Running, wakes the callback and waits for the thread to end. Must not be called while
// holding a lock that the callback takes.
void StopThread(MiniThread& thread);
// Gives the thread the highest scheduling priority the process is allowed; keeps the normal
// one when it may not raise it.
void RaiseThreadPriority(MiniThread& thread);

} // namespace kellix
