#include "core/interrupt.hpp"

namespace vorel {
namespace {

thread_local InterruptPoll t_poll = nullptr;

}  // namespace

InterruptScope::InterruptScope(InterruptPoll poll) noexcept : previous_(t_poll) { t_poll = poll; }

InterruptScope::~InterruptScope() { t_poll = previous_; }

bool interrupt_requested() noexcept { return t_poll != nullptr && t_poll(); }

}  // namespace vorel
