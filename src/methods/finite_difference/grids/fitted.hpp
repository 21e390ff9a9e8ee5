#pragma once
// The grid through given spot values, used after a cash dividend moves every
// node by the amount.

#include <span>

#include "methods/finite_difference/grids/fdm_grid.hpp"

namespace vorel {

// The grid through spot values exactly S_i + shift, with the transform of the
// grid the spots are taken from.
FdmGrid shifted(const Transform& transform, std::span<const double> spots, double shift);

}  // namespace vorel
