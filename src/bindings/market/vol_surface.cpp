// VolSurface: a flat volatility with the convention of its times.

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

using Declared = Class<VolSurface, "VolSurface">;

PyRef create() {
    return Declared::create<Declared::static_method<"flat", VolSurface::flat, "vol", "day_count">,
                            Declared::method<"volatility", &VolSurface::volatility, "strike", "t">,
                            Declared::pickled>();
}

}  // namespace

VOREL_CLASS_OBJECT(VolSurface, create)

// (volatility, convention) of a flat surface, the only kind Python builds.
template <>
PyRef pickled_state<VolSurface>(const VolSurface& surface) {
    return tuple_of(from_f64(surface.flat_volatility()), wrap(surface.day_count_convention()));
}

template <>
PyRef unpickle<VolSurface>(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(volatility, to_f64(items[0]));
    VOREL_LET(day_count, extract<DayCountConvention>(items[1]));
    return wrap(VolSurface::flat(volatility, std::move(day_count)));
}

}  // namespace vorel::py
