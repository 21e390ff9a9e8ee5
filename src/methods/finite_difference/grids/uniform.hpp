#pragma once
// The grid a valuation starts on: `grid_nodes` nodes equally spaced in x, over
// ln K ± N·σ·√T. A spot more than half that width from the strike widens the
// far end so that the spot keeps half the width of room to the grid's end; a
// spot within it (or not finite and positive) leaves the range as stated.

#include "methods/finite_difference/fdm_config.hpp"
#include "methods/finite_difference/grids/fdm_grid.hpp"

namespace vorel {

FdmGrid uniform_grid(double strike, double sigma, double t, const FdmConfig& config, double spot);

}  // namespace vorel
