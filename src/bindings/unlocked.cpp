#include "bindings/unlocked.hpp"

#include <chrono>

namespace vorel::py {
namespace {

using Clock = std::chrono::steady_clock;
constexpr Clock::duration kPollPeriod = std::chrono::milliseconds(10);

// The thread state saved while this thread runs without the lock, and when the poll next looks.
thread_local PyThreadState* t_saved = nullptr;
thread_local Clock::time_point t_next_poll;

}  // namespace

Unlocked::Unlocked() noexcept : interruptible_(poll_signals) {
    t_next_poll = Clock::now() + kPollPeriod;
    t_saved = PyEval_SaveThread();
}

Unlocked::~Unlocked() {
    PyEval_RestoreThread(t_saved);
    t_saved = nullptr;
}

bool Unlocked::poll_signals() noexcept {
    const Clock::time_point now = Clock::now();
    if (now < t_next_poll) return false;
    t_next_poll = now + kPollPeriod;
    PyEval_RestoreThread(t_saved);
    const bool stop = PyErr_CheckSignals() != 0;
    t_saved = PyEval_SaveThread();
    return stop;
}

}  // namespace vorel::py
