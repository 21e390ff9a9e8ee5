#pragma once
// Stopping long work from outside. The host (the Python bindings) installs a
// poll for the duration of a call; long loops in the core ask it every so many
// units of work whether to stop, and a loop told to stop returns
// Error::interrupted(). The core knows nothing of what the poll looks at.

#include <cstdint>

namespace vorel {

// True when the work under way must stop. Called on the thread that installed it.
using InterruptPoll = bool (*)() noexcept;

// Installs `poll` on this thread for the scope's lifetime, then restores the
// one before (none: nothing ever stops).
class InterruptScope {
public:
    explicit InterruptScope(InterruptPoll poll) noexcept;
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    InterruptPoll previous_;
};

// Asks this thread's poll, if one is installed.
bool interrupt_requested() noexcept;

// Counts work so that a loop asks the poll once per kUnits units, however
// much each of its rounds costs (a time step costs one unit per grid node).
// Allocates nothing.
class InterruptCounter {
public:
    static constexpr std::uint64_t kUnits = 4096;

    // Adds `units`; true when the units since the last time it was true reach kUnits.
    bool due(std::uint64_t units) noexcept {
        if (units < kUnits - pending_) {
            pending_ += units;
            return false;
        }
        pending_ = 0;
        return true;
    }

private:
    std::uint64_t pending_ = 0;
};

}  // namespace vorel
