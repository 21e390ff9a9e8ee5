#pragma once
// The spot grid of the finite-difference engine: nodes equally spaced (Uniform)
// or not (Fitted, after a dividend shift) in a coordinate x, mapped to spot by
// the log or a sinh stretch centred on the strike.

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

    double spot(double x) const noexcept;        // Log: eˣ; Sinh: K·exp(α·sinh x)
    double coordinate(double s) const noexcept;  // Log: ln S; Sinh: asinh(ln(S/K)/α)
    // S, S′ and S″ at x, each hyperbolic function evaluated once; point(x).spot
    // equals spot(x) exactly.
    Point point(double x) const noexcept;
};

struct FdmGrid {
    enum class Variant : std::uint8_t { Uniform, Fitted };

    Variant variant = Variant::Uniform;
    Transform transform;
    std::vector<double> x;        // strictly increasing for a positive alpha
    std::vector<double> h_plus;   // x[i+1] − x[i]; 0 at the last node
    std::vector<double> h_minus;  // x[i] − x[i−1]; 0 at the first node
    std::vector<double> spot;     // S at each node
    // The transform at each node: S(x), S′(x), S″(x). S(x) is the spot itself on a
    // uniform grid; on a fitted one it is the round trip of the shifted spot.
    std::vector<Transform::Point> mapped;

    std::size_t size() const noexcept { return x.size(); }
};

// Fills h_plus and h_minus from x.
void compute_spacings(FdmGrid& grid);

// Fills `mapped` from x.
void map_nodes(FdmGrid& grid);

}  // namespace vorel
