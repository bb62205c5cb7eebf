#include "core/write_sequence.h"

#include <atomic>

namespace {

std::atomic<int> writing{0};
std::atomic<int> pendingStop{0};
std::atomic<StopAction> stopAction{nullptr};

static_assert(std::atomic<int>::is_always_lock_free, "used from signal handlers");

void stop(int signal) {
    if (StopAction action = stopAction.load()) action(signal);
}

} // namespace

void setStopAction(StopAction action) {
    stopAction.store(action);
}

void beginWriteSequence() {
    writing.fetch_add(1);
}

// The stop is recorded before `writing` is looked at, and `writing` drops
// before the record is looked at, so a stop that races with the end of the
// sequence is run by one side or the other, never by neither.
void endWriteSequence() {
    if (writing.fetch_sub(1) == 1) {
        if (const int signal = pendingStop.load()) stop(signal);
    }
}

bool inWriteSequence() {
    return writing.load() > 0;
}

void requestStop(int signal) {
    pendingStop.store(signal);
    if (writing.load() == 0) stop(signal);
}
