#include "audio/mini_thread.h"

#include <chrono>
#include <pthread.h>
#include <sched.h>
#include <system_error>

namespace kellix {

namespace {

void ThreadLoop(MiniThread* thread) {
    do {
        if (ThreadRoutine callback = thread->Callback.load()) {
            callback(thread->Context);
        } else {
            // No work routine yet: do not spin a core away while the window is being built.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } while (thread->Running.load() != 0);
    thread->Running.store(0);
}

} // namespace

void StartThread(MiniThread& thread) {
    thread.Running.store(1);
    try {
        thread.Handle = std::thread(ThreadLoop, &thread);
    } catch (const std::system_error&) {
        thread.Running.store(0);
    }
}

void StopThread(MiniThread& thread) {
    thread.Running.store(0);
    if (!thread.Handle.joinable()) {
        return;
    }
    if (ThreadRoutine wake = thread.Wake.load()) {
        wake(thread.Context);
    }
    thread.Handle.join();
}

void RaiseThreadPriority(MiniThread& thread) {
    if (!thread.Handle.joinable()) {
        return;
    }
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_RR);
    // Refused without the right to real-time scheduling; the thread then keeps its priority.
    pthread_setschedparam(thread.Handle.native_handle(), SCHED_RR, &param);
}

} // namespace kellix
