// Timings of the two pricing engines: median nanoseconds per pricing over
// repeated batches. Run with `make bench`.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "execution/closed_form.hpp"
#include "orchestration/fdm.hpp"

namespace {

using namespace vorel;
using Clock = std::chrono::steady_clock;

volatile double g_sink = 0.0;

// Median over `batches` of the mean time per call in a batch of `calls`.
template <class F>
double median_ns(F&& f, int calls, int batches = 15) {
    std::vector<double> samples;
    for (int b = 0; b < batches; ++b) {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i) g_sink = g_sink + f(i);
        const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
        samples.push_back(elapsed.count() / calls);
    }
    std::nth_element(samples.begin(), samples.begin() + batches / 2, samples.end());
    return samples[batches / 2];
}

}  // namespace

int main() {
    const Instant now = *Instant::from_unix(1'700'000'000, 0);
    const Instant expiry = *Instant::from_unix(1'700'000'000 + 365 * 86400, 0);
    const ValuationTime at = ValuationTime::at_instant(now);
    const VanillaOption call{100.0, expiry, OptionType::Call, ExerciseStyle::European};
    const VanillaOption put{100.0, expiry, OptionType::Put, ExerciseStyle::American};

    std::printf("%-44s %14s %16s\n", "pricing", "ns per call", "ns per node-step");
    const double closed = median_ns(
        [&](int i) { return price_analytic(call, at, 90.0 + 0.001 * i, 0.2, 0.05, 0.01).price; }, 200000);
    std::printf("%-44s %14.1f %16s\n", "closed form, European call", closed, "-");

    struct Size {
        std::uint64_t nodes;
        std::uint64_t steps;
        int calls;
    };
    for (const Size size : {Size{101, 10, 5000}, Size{201, 20, 1000}, Size{401, 40, 300}, Size{801, 80, 60},
                            Size{801, 800, 8}}) {
        FdmConfig config;
        config.grid_nodes = size.nodes;
        config.time_steps = size.steps;
        const double ns = median_ns(
            [&](int i) { return price_fdm(put, {}, at, config, 100.0 + 0.001 * i, 0.2, 0.05, 0.0).price; },
            size.calls, 9);
        char label[64];
        std::snprintf(label, sizeof label, "finite differences, American put, %llu x %llu",
                      static_cast<unsigned long long>(size.nodes), static_cast<unsigned long long>(size.steps));
        std::printf("%-44s %14.1f %16.2f\n", label, ns, ns / static_cast<double>(size.nodes * size.steps));
    }
    return 0;
}
