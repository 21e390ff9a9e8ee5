#include "execution/parallel.hpp"

#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "core/interrupt.hpp"

namespace vorel {
namespace {

// The stop flag of the batch a worker thread serves, read by its interrupt poll.
thread_local const std::atomic<bool>* t_stop = nullptr;

bool stop_requested() noexcept { return t_stop != nullptr && t_stop->load(std::memory_order_relaxed); }

// What the threads of one run share.
class Run {
public:
    Run(std::size_t n, std::size_t chunk, const ChunkWork& work) : n_(n), chunk_(chunk == 0 ? 1 : chunk), work_(work) {}

    // Takes chunks until the range is done or the run stops.
    void serve() {
        while (!stop_.load(std::memory_order_relaxed)) {
            const std::size_t begin = next_.fetch_add(chunk_, std::memory_order_relaxed);
            if (begin >= n_) break;
            const std::size_t end = n_ - begin < chunk_ ? n_ : begin + chunk_;
            Result<Unit> done = work_(begin, end);
            if (!done) fail(std::move(done).error());
        }
    }

    // A thread started for the run: serves with the run's stop flag as its poll.
    void serve_as_worker() {
        t_stop = &stop_;
        const InterruptScope scope(stop_requested);
        try {
            serve();
        } catch (...) {
            fail_with_exception(std::current_exception());
        }
        t_stop = nullptr;
        std::lock_guard lock(mutex_);
        ++finished_;
        done_.notify_all();
    }

    void stop() noexcept { stop_.store(true, std::memory_order_relaxed); }

    // Waits for `started` workers, asking monitor() every period. The period is
    // measured on the system clock: a wait on the steady clock needs a glibc
    // function (pthread_cond_clockwait, 2.30) that the oldest systems the module
    // loads on lack. A step of the clock can stretch one period, never the wait
    // for the workers, who notify.
    void wait(unsigned started, const std::function<bool()>& monitor) {
        std::unique_lock lock(mutex_);
        while (finished_ < started) {
            const auto period_end = std::chrono::system_clock::now() + std::chrono::milliseconds(10);
            if (done_.wait_until(lock, period_end, [&] { return finished_ >= started; })) break;
            lock.unlock();
            if (!stop_.load(std::memory_order_relaxed) && monitor()) {
                stop();
                interrupted_ = true;
            }
            lock.lock();
        }
    }

    Result<Unit> outcome() {
        if (exception_) std::rethrow_exception(exception_);
        if (error_) return Err{std::move(*error_)};
        if (interrupted_) return Err{Error::interrupted()};
        return Unit{};
    }


private:
    void fail(Error error) {
        std::lock_guard lock(mutex_);
        if (!error_) error_ = std::move(error);
        stop();
    }
    void fail_with_exception(std::exception_ptr exception) {
        std::lock_guard lock(mutex_);
        if (!exception_) exception_ = exception;
        stop();
    }

    const std::size_t n_;
    const std::size_t chunk_;
    const ChunkWork& work_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable done_;
    unsigned finished_ = 0;
    bool interrupted_ = false;  // written by the monitoring thread only
    std::optional<Error> error_;
    std::exception_ptr exception_;
};

}  // namespace

unsigned available_processors() noexcept {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : hardware;
}

Result<Unit> run_parallel(std::size_t n, std::size_t chunk, unsigned threads, const ChunkWork& work,
                          const std::function<bool()>& monitor) {
    Run run(n, chunk, work);
    std::vector<std::thread> workers;
    try {
        workers.reserve(threads);
        for (unsigned i = 0; i < threads; ++i) workers.emplace_back([&run] { run.serve_as_worker(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked for; the ones started do the work.
    } catch (const std::bad_alloc&) {
    }
    if (workers.empty()) {
        // No thread: this one works, asking the monitor between chunks.
        const ChunkWork checked = [&](std::size_t begin, std::size_t end) -> Result<Unit> {
            if (monitor()) return Err{Error::interrupted()};
            return work(begin, end);
        };
        return run_inline(n, chunk, checked);
    }
    run.wait(static_cast<unsigned>(workers.size()), monitor);
    for (std::thread& worker : workers) worker.join();
    return run.outcome();
}

Result<Unit> run_inline(std::size_t n, std::size_t chunk, const ChunkWork& work) {
    if (chunk == 0) chunk = 1;
    for (std::size_t begin = 0; begin < n; begin += chunk) {
        const std::size_t end = n - begin < chunk ? n : begin + chunk;
        if (Result<Unit> done = work(begin, end); !done) return done;
    }
    return Unit{};
}

}  // namespace vorel
