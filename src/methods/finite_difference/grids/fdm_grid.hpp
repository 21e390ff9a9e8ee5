#pragma once
// The spot grid of the finite-difference engine: nodes equally spaced (Uniform)
// in a coordinate x that maps to spot by the log or a sinh stretch centred on
// the strike, or placed at given spots (Fitted, after a cash dividend) with x
// worked out from them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "methods/finite_difference/fdm_config.hpp"

namespace vorel {

// The map between x and spot S with its first two derivatives.
struct Transform {
    TransformKind kind = TransformKind::Sinh;
    double center = 0.0;  // the strike; the sinh map's centre
    double alpha = 0.3;

    struct Point {
        double spot;    // S(x)
        double first;   // S′(x)
        double second;  // S″(x)
    };

    double coordinate(double s) const noexcept;  // Log: ln S; Sinh: asinh(ln(S/K)/α)
    // S, S′ and S″ at x (Log: eˣ; Sinh: K·exp(α·sinh x)), each hyperbolic
    // function evaluated once.
    Point point(double x) const noexcept;
};

struct FdmGrid {
    enum class Variant : std::uint8_t { Uniform, Fitted };

    Variant variant = Variant::Uniform;
    Transform transform;
    std::vector<double> spot;  // the nodes, increasing
    std::vector<double> x;     // their coordinates
    // The transform at each node's x: S(x), S′(x), S″(x). S(x) is the spot
    // itself on a uniform grid; on a fitted one it is the spot's round trip.
    std::vector<Transform::Point> mapped;

    std::size_t size() const noexcept { return spot.size(); }
};

// The fitted grid through `spots` (increasing), x and the map worked out with
// `transform`.
FdmGrid fitted_grid(const Transform& transform, std::vector<double> spots);

}  // namespace vorel
