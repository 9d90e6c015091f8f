#include "support/signal_cleanup.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sched.h>
#include <unistd.h>

namespace kellix {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
constexpr int kPlaces = 8;

// A place's life: free, filled by its owner, pending (the handler may remove the file), being
// removed by a handler, removed.
enum : int { kFree, kFilling, kPending, kRemoving, kRemoved };

// Everything the handler reads is static: it may not allocate or take locks.
struct Place {
    std::atomic<int> State{kFree};
    char Path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free);

Place g_places[kPlaces];
struct sigaction g_previous[kSignalCount];
bool g_installed[kSignalCount];
std::mutex g_lock; // guards g_registered and the installing and restoring of the handlers
int g_registered = 0;

void RemoveRegistered() {
    for (Place& place : g_places) {
        int expected = kPending;
        if (place.State.compare_exchange_strong(expected, kRemoving)) {
            // A file already renamed into place is not there any more: nothing was removed.
            place.State.store(unlink(place.Path) == 0 ? kRemoved : kPending);
        }
    }
}

void OnSignal(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    RemoveRegistered();
    int i = 0;
    while (kSignals[i] != sig) {
        ++i;
    }
    const struct sigaction& previous = g_previous[i];
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
        previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler == SIG_DFL) {
        // The default action, as if this handler had never been there.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(sig, &fallback, nullptr);
        raise(sig);
        sigset_t unblock;
        sigemptyset(&unblock);
        sigaddset(&unblock, sig);
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    } else if (previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
    }
    errno = savedErrno;
}

// Caller holds g_lock.
void InstallHandlers() {
    struct sigaction mine {};
    mine.sa_sigaction = OnSignal;
    mine.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&mine.sa_mask);
    for (int sig : kSignals) {
        sigaddset(&mine.sa_mask, sig);
    }
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        sigaction(kSignals[i], nullptr, &current);
        g_installed[i] = (current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_IGN;
        if (g_installed[i]) {
            g_previous[i] = current;
            sigaction(kSignals[i], &mine, nullptr);
        }
    }
}

// Caller holds g_lock. A handler that someone installed over ours meanwhile stays.
void RestoreHandlers() {
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        sigaction(kSignals[i], nullptr, &current);
        if (g_installed[i] && (current.sa_flags & SA_SIGINFO) != 0 &&
            current.sa_sigaction == OnSignal) {
            sigaction(kSignals[i], &g_previous[i], nullptr);
        }
        g_installed[i] = false;
    }
}

} // namespace

int RegisterTemporary(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (int i = 0; i < kPlaces; ++i) {
        int expected = kFree;
        if (!g_places[i].State.compare_exchange_strong(expected, kFilling)) {
            continue;
        }
        std::memcpy(g_places[i].Path, path.c_str(), path.size() + 1);
        {
            std::lock_guard lock(g_lock);
            if (g_registered++ == 0) {
                InstallHandlers();
            }
        }
        g_places[i].State.store(kPending);
        return i;
    }
    return -1;
}

bool ForgetTemporary(int ticket) {
    if (ticket < 0 || ticket >= kPlaces) {
        return true;
    }
    Place& place = g_places[ticket];
    bool kept = true;
    for (;;) {
        int state = kPending;
        if (place.State.compare_exchange_strong(state, kFree)) {
            break;
        }
        if (state == kRemoved) {
            kept = false;
            place.State.store(kFree);
            break;
        }
        sched_yield(); // a handler on another thread is removing the file
    }
    std::lock_guard lock(g_lock);
    if (--g_registered == 0) {
        RestoreHandlers();
    }
    return kept;
}

} // namespace kellix
