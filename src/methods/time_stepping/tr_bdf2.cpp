#include "methods/time_stepping/tr_bdf2.hpp"

#include <limits>
#include <new>

namespace vorel {
namespace {

std::size_t storage_size(std::size_t nodes) {
    // 7·nodes values must fit in the address space.
    if (nodes > std::numeric_limits<std::size_t>::max() / (7 * sizeof(double))) throw std::bad_alloc();
    return 7 * nodes;
}

}  // namespace

TrBdf2Workspace::TrBdf2Workspace(std::size_t nodes)
    : nodes_(nodes),
      storage_(std::make_unique_for_overwrite<double[]>(storage_size(nodes))),
      state_(storage_.get(), nodes),
      stage2_(storage_.get() + 2 * nodes, nodes),
      stage1_(storage_.get() + 4 * nodes, nodes),
      sweep_(storage_.get() + 6 * nodes, nodes) {}

}  // namespace vorel
