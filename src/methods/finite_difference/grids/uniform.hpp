#pragma once
// The grid a valuation starts on: `grid_nodes` nodes equally spaced in x. The
// range covers ln K ± N·σ·√T (N = `grid_std_devs`) and the paths from the
// spot: where log spot drifts over the life (at r − q − σ²/2) with room either
// side, so that neither a spot far from the strike nor a strong drift leaves the
// grid's ends where the value still bends.

#include <cmath>
#include <cstddef>

#include "methods/finite_difference/fdm_config.hpp"
#include "methods/finite_difference/grids/fdm_grid.hpp"

namespace vorel {

// An interval of log spot.
struct LogRange {
    double lo;
    double hi;
};

// Where the paths from spot S₀ run over `t` years at drift r − q: log spot's
// median drift with half of N·σ·√t of room either side.
LogRange spot_range(double spot, double sigma, double t, double grid_std_devs, double drift) noexcept;

// The range for strike K, volatility σ, `t` years, spot S₀ and drift r − q. A
// spot or strike that is not finite and positive leaves ln K ± N·σ·√T.
LogRange grid_range(double strike, double sigma, double t, double grid_std_devs, double spot, double drift) noexcept;

// n nodes equally spaced in the transform's x between the ends of `range`.
FdmGrid uniform_grid(const Transform& transform, const LogRange& range, std::size_t n);
FdmGrid uniform_grid(double strike, double sigma, double t, const FdmConfig& config, double spot, double drift);

// The transform a valuation's first grid uses for `strike`.
inline Transform start_transform(double strike, const FdmConfig& config) noexcept {
    return {config.transform.kind, strike, config.transform.alpha};
}

// The nodes of uniform_grid(transform, range, n) without the grid: node i's
// coordinate and the map there, passed as store(i, x, point).
template <class Store>
void place_uniform_nodes(const Transform& transform, const LogRange& range, std::size_t n, Store&& store) {
    const double x_min = transform.coordinate(std::exp(range.lo));
    const double x_max = transform.coordinate(std::exp(range.hi));
    const double dx = (x_max - x_min) / (static_cast<double>(n) - 1.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = x_min + dx * static_cast<double>(i);
        store(i, x, transform.point(x));
    }
}

}  // namespace vorel
