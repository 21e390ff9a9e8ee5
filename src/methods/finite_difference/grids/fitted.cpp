#include "methods/finite_difference/grids/fitted.hpp"

namespace vorel {

FdmGrid shifted(const FdmGrid& grid, double shift) {
    FdmGrid moved;
    moved.variant = FdmGrid::Variant::Fitted;
    moved.transform = grid.transform;
    const std::size_t n = grid.size();
    moved.spot.resize(n);
    moved.x.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        moved.spot[i] = grid.spot[i] + shift;
        moved.x[i] = moved.transform.coordinate(moved.spot[i]);
    }
    compute_spacings(moved);
    map_nodes(moved);
    return moved;
}

}  // namespace vorel
