#pragma once
// Work over a range of elements shared among threads. Threads take chunks of
// the range from a common counter, so uneven elements (a finite-difference
// option next to a closed-form one) balance themselves.

#include <cstddef>
#include <functional>

#include "core/error.hpp"

namespace vorel {

// Work on the elements [begin, end); an error stops every thread.
using ChunkWork = std::function<Result<Unit>(std::size_t begin, std::size_t end)>;

// The number of processors this process may run on (at least 1).
unsigned available_processors() noexcept;

// Runs `work` over [0, n) in chunks of `chunk` elements on `threads` threads
// of its own while the calling thread waits, asking `monitor` about every 10 ms
// whether to stop (true: stop). Within the work, the engines' interrupt poll
// (core/interrupt.hpp) reports a stop too. Gives the first error, or
// Error::interrupted() after a stop. When no thread can be started the calling
// thread does the work itself, asking `monitor` between chunks.
Result<Unit> run_parallel(std::size_t n, std::size_t chunk, unsigned threads, const ChunkWork& work,
                          const std::function<bool()>& monitor);

// The same on the calling thread alone, with whatever interrupt poll it has.
Result<Unit> run_inline(std::size_t n, std::size_t chunk, const ChunkWork& work);

}  // namespace vorel
