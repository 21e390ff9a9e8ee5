#include "methods/finite_difference/grids/uniform.hpp"

#include <algorithm>
#include <cmath>
#include <new>

namespace vorel {
namespace {

bool finite_positive(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

LogRange spot_range(double spot, double sigma, double t, double grid_std_devs, double drift) noexcept {
    const double room = 0.5 * sigma * std::sqrt(t) * grid_std_devs;
    const double ln_s = std::log(spot);
    const double move = (drift - 0.5 * sigma * sigma) * t;
    return {ln_s + std::min(move, 0.0) - room, ln_s + std::max(move, 0.0) + room};
}

LogRange grid_range(double strike, double sigma, double t, double grid_std_devs, double spot, double drift) noexcept {
    const double half = sigma * std::sqrt(t) * grid_std_devs;
    const double ln_k = std::log(strike);
    LogRange range{ln_k - half, ln_k + half};
    if (finite_positive(spot) && finite_positive(strike)) {
        const LogRange paths = spot_range(spot, sigma, t, grid_std_devs, drift);
        range.lo = std::min(range.lo, paths.lo);
        range.hi = std::max(range.hi, paths.hi);
    }
    return range;
}

FdmGrid uniform_grid(const Transform& transform, const LogRange& range, std::size_t n) {
    FdmGrid grid;
    grid.variant = FdmGrid::Variant::Uniform;
    grid.transform = transform;
    if (n > grid.mapped.max_size()) throw std::bad_alloc();  // a node count no memory can hold
    grid.x.resize(n);
    grid.spot.resize(n);
    grid.mapped.resize(n);
    place_uniform_nodes(transform, range, n, [&grid](std::size_t i, double x, const Transform::Point& p) {
        grid.x[i] = x;
        grid.mapped[i] = p;
        grid.spot[i] = p.spot;
    });
    return grid;
}

FdmGrid uniform_grid(double strike, double sigma, double t, const FdmConfig& config, double spot, double drift) {
    return uniform_grid(start_transform(strike, config),
                        grid_range(strike, sigma, t, config.grid_std_devs, spot, drift), config.grid_nodes);
}

}  // namespace vorel
