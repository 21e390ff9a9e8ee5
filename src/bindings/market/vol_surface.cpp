// VolSurface: a flat volatility with the convention of its times.

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

PyObject* flat(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<2> signature{"VolSurface.flat", {"vol", "day_count"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(vol, named("vol", to_f64(bound[0])));
        VOREL_LET(day_count, named("day_count", extract<DayCountConvention>(bound[1])));
        return wrap(VolSurface::flat(vol, std::move(day_count)));
    });
}

PyObject* volatility(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<2> signature{"VolSurface.volatility", {"strike", "t"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(surface, receiver<VolSurface>(self));
        VOREL_LET(strike, named("strike", to_f64(bound[0])));
        VOREL_LET(t, named("t", to_f64(bound[1])));
        return from_f64(surface->volatility(strike, t));
    });
}

PyMethodDef g_methods[] = {
    static_method("flat", flat, "flat(vol, day_count)\n--\n\n"),
    method("volatility", volatility, "volatility($self, strike, t)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.VolSurface", "", sizeof(Object<VolSurface>), dealloc<VolSurface>, nullptr,
                         nullptr, nullptr, g_methods});
}

}  // namespace

VOREL_CLASS_OBJECT(VolSurface, create)

// (volatility, convention) of a flat surface, the only kind Python builds.
template <>
PyRef pickled_state<VolSurface>(const VolSurface& surface) {
    const auto* flat = std::get_if<VolSurface::Flat>(&surface.variant());
    if (flat == nullptr) {
        raise(PyExc_TypeError, "cannot pickle a VolSurface other than flat");
        return {};
    }
    return tuple_of(from_f64(flat->volatility), wrap(flat->day_count));
}

template <>
PyRef unpickle<VolSurface>(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(volatility, to_f64(items[0]));
    VOREL_LET(day_count, extract<DayCountConvention>(items[1]));
    return wrap(VolSurface::flat(volatility, std::move(day_count)));
}

}  // namespace vorel::py
