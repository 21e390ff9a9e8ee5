#pragma once
// The grid through given spot values, used after a cash dividend moves every
// node by the amount.

#include "methods/finite_difference/grids/fdm_grid.hpp"

namespace vorel {

// Spot values exactly S_i + shift, with the grid's own transform.
FdmGrid shifted(const FdmGrid& grid, double shift);

}  // namespace vorel
