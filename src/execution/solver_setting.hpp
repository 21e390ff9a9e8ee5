#pragma once
// Which root finder the implied-volatility solver runs, and its limits.

#include <cstdint>

namespace vorel {

struct SolverSetting {
    enum class Kind : std::uint8_t { Default, Brent, Bisection };

    Kind kind = Kind::Default;  // Brent's method with tolerance 1e-4 and 100 rounds
    double tolerance = 1e-4;
    std::uint64_t max_iterations = 100;

    static SolverSetting brent(double tolerance, std::uint64_t max_iterations) noexcept {
        return {Kind::Brent, tolerance, max_iterations};
    }
    static SolverSetting bisection(double tolerance, std::uint64_t max_iterations) noexcept {
        return {Kind::Bisection, tolerance, max_iterations};
    }
};

}  // namespace vorel
