#pragma once
// Settings of the finite-difference engine.

#include <cstdint>

namespace vorel {

enum class TransformKind : std::uint8_t { Log = 0, Sinh = 1 };

struct TransformConfig {
    TransformKind kind = TransformKind::Sinh;
    double alpha = 0.3;  // stretch of the sinh map; not read for Log

    static TransformConfig log() noexcept { return {TransformKind::Log, 0.0}; }
    static TransformConfig sinh(double alpha) noexcept { return {TransformKind::Sinh, alpha}; }
};

struct FdmConfig {
    TransformConfig transform;
    std::uint64_t grid_nodes = 101;
    std::uint64_t time_steps = 10;   // over the whole life of the option
    double grid_std_devs = 4.0;      // half-width in standard deviations of log spot

    // The settings a user asks for. The engine's grids have an odd number of
    // nodes: an even count asked for is made odd by setting its lowest bit (the
    // default already is odd).
    static FdmConfig with_odd_nodes(TransformConfig transform, std::uint64_t grid_nodes, std::uint64_t time_steps,
                                    double grid_std_devs) noexcept {
        return {transform, grid_nodes | 1, time_steps, grid_std_devs};
    }
};

}  // namespace vorel
