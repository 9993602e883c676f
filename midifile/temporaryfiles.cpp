#include "midifile/temporaryfiles.h"

#include <array>
#include <atomic>
#include <csignal>
#include <mutex>

#ifdef _WIN32
#include <cstdio>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace {

// A few saves at a time at most; a path longer than a slot is not listed.
constexpr std::size_t kSlots = 16;
constexpr std::size_t kPathBytes = 4096;

struct Slot {
    // Set only after the path is complete, cleared before it is reused, so a
    // handler that sees it set reads a whole path.
    std::atomic<bool> live{false};
    bool taken = false; // guarded by g_claim
    std::array<char, kPathBytes> path{};
};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler reads the flags");

std::array<Slot, kSlots> g_slots;
std::mutex g_claim;

void unlinkQuietly(const char* path) noexcept
{
#ifdef _WIN32
    std::remove(path);
#else
    ::unlink(path);
#endif
}

extern "C" void removeAndStop(int signal)
{
    temporaryfiles::removeAll();
#ifdef _WIN32
    std::signal(signal, SIG_DFL);
#endif
    // The handler was reset to the default action on entry (SA_RESETHAND).
    std::raise(signal);
}

} // namespace

namespace temporaryfiles {

int add(const std::string& path)
{
    if (path.size() >= kPathBytes) return -1;
    const std::lock_guard lock(g_claim);
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (slot.taken) continue;
        slot.taken = true;
        path.copy(slot.path.data(), path.size());
        slot.path[path.size()] = '\0';
        slot.live.store(true, std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1;
}

void forget(int slot)
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= kSlots) return;
    Slot& entry = g_slots[static_cast<std::size_t>(slot)];
    entry.live.store(false, std::memory_order_release);
    const std::lock_guard lock(g_claim);
    entry.taken = false;
}

void removeAll() noexcept
{
    for (Slot& slot : g_slots)
        if (slot.live.load(std::memory_order_acquire)) unlinkQuietly(slot.path.data());
}

#ifdef _WIN32

void removeOnTerminationSignals()
{
    for (const int signal : {SIGINT, SIGTERM}) {
        const auto previous = std::signal(signal, removeAndStop);
        if (previous == SIG_IGN) std::signal(signal, SIG_IGN);
    }
}

void SignalsHeld::holdSignals() {}
void SignalsHeld::releaseSignals() {}

#else

void removeOnTerminationSignals()
{
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeAndStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }
}

namespace {
thread_local int t_holds = 0;
thread_local sigset_t t_before;
} // namespace

void SignalsHeld::holdSignals()
{
    if (t_holds++ > 0) return;
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &t_before);
}

void SignalsHeld::releaseSignals()
{
    if (--t_holds > 0) return;
    pthread_sigmask(SIG_SETMASK, &t_before, nullptr);
}

#endif

} // namespace temporaryfiles
