#include "methods/time_stepping/input_vectors.hpp"

#include <new>

namespace vorel {

InputVectors::InputVectors(std::size_t nodes) : nodes_(nodes) {
    // 2·nodes must not wrap around.
    if (nodes > data_.max_size() / 2) throw std::bad_alloc();
    data_.resize(2 * nodes);
}

}  // namespace vorel
