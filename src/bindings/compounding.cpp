// Compounding: built only by its static methods.

#include <string>

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

std::string repr(const Compounding& compounding) { return "Compounding." + compounding.debug_text(); }

using Declared = Class<Compounding, "Compounding">;

PyRef create() {
    return Declared::create<Declared::static_method<"simple", Compounding::simple>,
                            Declared::static_method<"continuous", Compounding::continuous>,
                            Declared::static_method<"compounded", Compounding::compounded, "freq">,
                            Declared::static_method<"simple_then_compounded", Compounding::simple_then_compounded,
                                                    "freq">,
                            Declared::repr<repr>, Declared::pickled>();
}

}  // namespace

VOREL_CLASS_OBJECT(Compounding, create)

// (rule, frequency): the rule's code and a Frequency, read only by the compounded rules.
template <>
PyRef pickled_state<Compounding>(const Compounding& compounding) {
    return tuple_of(from_i64(static_cast<std::uint8_t>(compounding.tag())), wrap(compounding.frequency()));
}

template <>
PyRef unpickle<Compounding>(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(tag, code_in(items[0], 4));
    VOREL_LET(frequency, extract<Frequency>(items[1]));
    switch (static_cast<Compounding::Tag>(tag)) {
        case Compounding::Tag::Simple:
            return wrap(Compounding::simple());
        case Compounding::Tag::Compounded:
            return wrap(Compounding::compounded(frequency));
        case Compounding::Tag::Continuous:
            return wrap(Compounding::continuous());
        case Compounding::Tag::SimpleThenCompounded:
            return wrap(Compounding::simple_then_compounded(frequency));
    }
    return {};
}

}  // namespace vorel::py
