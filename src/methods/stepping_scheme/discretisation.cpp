#include "methods/stepping_scheme/discretisation.hpp"

#include "core/panic.hpp"

namespace vorel {
namespace {

TridiagonalOperator closed_operator(const FdmProcess& process, const FdmGrid& grid) {
    TridiagonalOperator op = build_operator(process, grid);
    NeumannStandard::close(op);
    return op;
}

}  // namespace

FdmDiscretisation::FdmDiscretisation(FdmGrid grid, const FdmProcess& process, const NeumannStandard& boundary)
    : grid_(std::move(grid)),
      op_(closed_operator(process, grid_)),
      process_(process),
      boundary_(boundary),
      scale_(NeumannStandard::scale(grid_)) {}

void FdmDiscretisation::replace_grid(FdmGrid grid) {
    TridiagonalOperator op = closed_operator(process_, grid);
    grid_ = std::move(grid);
    op_ = std::move(op);
    scale_ = NeumannStandard::scale(grid_);
}

void require_state_for(const FdmDiscretisation& discretisation, const InputVectors& state) {
    if (state.nodes() != discretisation.size()) panic("the state and the grid differ in size");
}

}  // namespace vorel
