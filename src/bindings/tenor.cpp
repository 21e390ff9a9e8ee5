// Tenor: built by its static methods, laid onto dates by advance().

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

template <TenorUnit kUnit>
Tenor make(std::int32_t count) {
    return Tenor{kUnit, count};
}

using Declared = Class<Tenor, "Tenor">;

PyRef create() {
    return Declared::create<Declared::static_method<"days", make<TenorUnit::Days>, "n">,
                            Declared::static_method<"weeks", make<TenorUnit::Weeks>, "n">,
                            Declared::static_method<"months", make<TenorUnit::Months>, "n">,
                            Declared::static_method<"years", make<TenorUnit::Years>, "n">,
                            Declared::method<"advance", [](const Tenor& tenor, Date from) { return advance(from, tenor); },
                                             "from">,
                            Declared::pickled>();
}

}  // namespace

VOREL_CLASS_OBJECT(Tenor, create)

// (unit, count): the unit's code and the signed count.
template <>
PyRef pickled_state<Tenor>(const Tenor& tenor) {
    return tuple_of(from_i64(static_cast<std::uint8_t>(tenor.unit)), from_i64(tenor.count));
}

template <>
PyRef unpickle<Tenor>(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(unit, code_in(items[0], 4));
    VOREL_LET(count, to_i32(items[1]));
    return wrap(Tenor{static_cast<TenorUnit>(unit), count});
}

}  // namespace vorel::py
