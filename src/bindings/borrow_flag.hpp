#pragma once
// Per-object borrow state: 0 free, n > 0 shared borrows, -1 one exclusive borrow.
// Kept free of the interpreter so that the transitions can be unit-tested.

#include <atomic>
#include <cstdint>
#include <limits>

namespace vorel::py {

class BorrowFlag {
public:
    static constexpr std::int64_t kExclusive = -1;

    bool try_acquire_shared() noexcept {
        std::int64_t current = state_.load(std::memory_order_relaxed);
        do {
            if (current == kExclusive || current == std::numeric_limits<std::int64_t>::max()) return false;
        } while (!state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                               std::memory_order_relaxed));
        return true;
    }
    void release_shared() noexcept { state_.fetch_sub(1, std::memory_order_release); }

    bool try_acquire_exclusive() noexcept {
        std::int64_t expected = 0;
        return state_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void release_exclusive() noexcept { state_.store(0, std::memory_order_release); }

    std::int64_t raw() const noexcept { return state_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::int64_t> state_{0};
};

}  // namespace vorel::py
