#pragma once
// Internal failures. An invariant that does not hold, or a path that is not
// implemented, throws a Panic. The binding layer turns it into PanicException;
// nothing else in the library throws.

#include <source_location>
#include <string>

namespace vorel {

struct Panic {
    std::string message;
    std::source_location location;
};

[[noreturn]] void panic(std::string message,
                        std::source_location location = std::source_location::current());

}  // namespace vorel
