#include "methods/finite_difference/grids/fitted.hpp"

namespace vorel {

FdmGrid shifted(const Transform& transform, std::span<const double> spots, double shift) {
    std::vector<double> moved(spots.size());
    for (std::size_t i = 0; i < spots.size(); ++i) moved[i] = spots[i] + shift;
    return fitted_grid(transform, std::move(moved));
}

}  // namespace vorel
