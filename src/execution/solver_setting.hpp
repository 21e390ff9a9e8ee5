#pragma once
// The implied-volatility solver's root finder (Brent's method) and its limits.

#include <cstdint>

namespace vorel {

struct SolverSetting {
    enum class Kind : std::uint8_t { Default, Brent };

    Kind kind = Kind::Default;  // Brent's method with tolerance 1e-4 and 100 rounds
    double tolerance = 1e-4;
    std::uint64_t max_iterations = 100;
};

}  // namespace vorel
