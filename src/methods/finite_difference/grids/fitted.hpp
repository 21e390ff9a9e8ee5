#pragma once
// The grid through given spot values, used after a cash dividend moves every
// node by the amount.

#include <span>

#include "methods/finite_difference/grids/fdm_grid.hpp"

namespace vorel {

// Spot values exactly S_i + shift, with the grid's own transform.
FdmGrid shifted(const FdmGrid& grid, double shift);
// The same from the spots and the transform of a grid.
FdmGrid shifted(const Transform& transform, std::span<const double> spots, double shift);

}  // namespace vorel
