#include "methods/finite_difference/grids/fitted.hpp"

namespace vorel {

FdmGrid shifted(const FdmGrid& grid, double shift) {
    std::vector<double> spots(grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i) spots[i] = grid.spot[i] + shift;
    return fitted_grid(grid.transform, std::move(spots));
}

}  // namespace vorel
