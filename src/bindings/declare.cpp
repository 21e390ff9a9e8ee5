#include "bindings/declare.hpp"

namespace vorel::py::declared {

std::string text_signature(std::string_view name, std::string_view self, const char* const* names,
                           std::size_t count, std::size_t required) {
    std::string text(name);
    text += '(';
    text += count == 0 && !self.empty() ? self.substr(0, self.find(',')) : self;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ", ";
        text += names[i];
        if (i >= required) text += "=None";
    }
    text += ")\n--\n\n";
    return text;
}

}  // namespace vorel::py::declared
