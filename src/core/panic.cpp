#include "core/panic.hpp"

#include <utility>

namespace vorel {

void panic(std::string message, std::source_location location) {
    throw Panic{std::move(message), location};
}

}  // namespace vorel
