#pragma once
// Native work without the interpreter lock, still stopped by Ctrl-C.

#include "bindings/python.hpp"
#include "core/interrupt.hpp"

namespace vorel::py {

// For its lifetime, releases the interpreter lock held by this thread and
// installs the engines' interrupt poll: about every 10 ms the poll takes the
// lock back, lets the interpreter run its signal handlers (Ctrl-C raising
// KeyboardInterrupt) and says stop once one of them raised. Nothing in the
// scope may touch a Python object except through poll_signals(). A scope
// opened by a signal handler the poll runs (a handler that prices) releases
// and retakes the lock around its own work, and the poll releases it again
// after the handlers.
class Unlocked {
public:
    Unlocked() noexcept;
    ~Unlocked();
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

    // The poll itself, for a thread that waits on others (true: stop).
    static bool poll_signals() noexcept;

private:
    InterruptScope interruptible_;
};

}  // namespace vorel::py
