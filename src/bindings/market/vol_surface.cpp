// VolSurface: a flat volatility with the convention of its times.

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"

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
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.VolSurface", "", sizeof(Object<VolSurface>), dealloc<VolSurface>, nullptr,
                         nullptr, nullptr, g_methods});
}

}  // namespace

VOREL_CLASS_OBJECT(VolSurface, create)

}  // namespace vorel::py
