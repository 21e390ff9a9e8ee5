#include "methods/finite_difference/grids/uniform.hpp"

#include <algorithm>
#include <cmath>
#include <new>

namespace vorel {
namespace {

bool finite_positive(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

FdmGrid uniform_grid(double strike, double sigma, double t, const FdmConfig& config, double spot) {
    const double half = sigma * std::sqrt(t) * config.grid_std_devs;
    const double ln_k = std::log(strike);
    double s_min = std::exp(ln_k - half);
    double s_max = std::exp(ln_k + half);
    // The range is centred on the strike; a spot far from it would be read off
    // the extrapolated end cubic, so the far end moves out to leave the spot
    // half the width of room.
    if (finite_positive(spot) && finite_positive(strike) && std::abs(std::log(spot / strike)) > half / 2.0) {
        const double ln_s = std::log(spot);
        s_min = std::min(s_min, std::exp(ln_s - half / 2.0));
        s_max = std::max(s_max, std::exp(ln_s + half / 2.0));
    }

    FdmGrid grid;
    grid.variant = FdmGrid::Variant::Uniform;
    grid.transform = Transform{config.transform.kind, strike, config.transform.alpha};
    const double x_min = grid.transform.coordinate(s_min);
    const double x_max = grid.transform.coordinate(s_max);

    const std::size_t n = config.grid_nodes;
    if (n > grid.x.max_size()) throw std::bad_alloc();  // a node count no memory can hold
    const double dx = (x_max - x_min) / (static_cast<double>(n) - 1.0);
    grid.x.resize(n);
    grid.spot.resize(n);
    grid.mapped.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        grid.x[i] = x_min + dx * static_cast<double>(i);
        grid.mapped[i] = grid.transform.point(grid.x[i]);
        grid.spot[i] = grid.mapped[i].spot;
    }
    compute_spacings(grid);
    return grid;
}

}  // namespace vorel
