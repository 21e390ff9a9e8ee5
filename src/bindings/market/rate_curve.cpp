// RateCurve: flat, continuous and interpolated curves built by static methods.

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"

namespace vorel::py {
namespace {

PyObject* flat(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"RateCurve.flat", {"rate"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(rate, named("rate", extract<InterestRate>(bound[0])));
        return wrap(RateCurve::flat(std::move(rate)));
    });
}

PyObject* continuous(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<2> signature{"RateCurve.continuous", {"rate", "day_count_convention"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(rate, named("rate", to_f64(bound[0])));
        VOREL_LET(convention, named("day_count_convention", extract<DayCountConvention>(bound[1])));
        return wrap(RateCurve::continuous(rate, std::move(convention)));
    });
}

PyObject* interpolated(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<3> signature{"RateCurve.interpolated", {"reference_date", "tenors", "rates"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(reference_date, named("reference_date", calendar_date(bound[0])));
        VOREL_LET(tenors, named("tenors", to_vector(bound[1], extract<Tenor>)));
        VOREL_LET(rates, named("rates", to_vector(bound[2], extract<InterestRate>)));
        auto curve = RateCurve::interpolated(reference_date, std::move(tenors), std::move(rates));
        if (!curve) {
            raise(PyExc_ValueError, "Curve Error: " + curve.error().debug_text());
            return {};
        }
        return wrap(std::move(*curve));
    });
}

constinit const Signature<1> kZeroRate{"RateCurve.zero_rate", {"t"}};
constinit const Signature<1> kDiscountFactor{"RateCurve.discount_factor", {"t"}};

// A query of the curve at one year fraction.
template <double (RateCurve::*kQuery)(double) const>
PyObject* query(const Signature<1>& signature, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(curve, receiver<RateCurve>(self));
        VOREL_LET(t, named("t", to_f64(bound[0])));
        return from_f64(((*curve).*kQuery)(t));
    });
}

PyObject* zero_rate(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return query<&RateCurve::zero_rate>(kZeroRate, self, args, nargs, kwnames);
}
PyObject* discount_factor(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return query<&RateCurve::discount_factor>(kDiscountFactor, self, args, nargs, kwnames);
}

PyMethodDef g_methods[] = {
    static_method("flat", flat, "flat(rate)\n--\n\n"),
    static_method("continuous", continuous, "continuous(rate, day_count_convention)\n--\n\n"),
    static_method("interpolated", interpolated, "interpolated(reference_date, tenors, rates)\n--\n\n"),
    method("zero_rate", zero_rate, "zero_rate($self, t)\n--\n\n"),
    method("discount_factor", discount_factor, "discount_factor($self, t)\n--\n\n"),
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.RateCurve", "", sizeof(Object<RateCurve>), dealloc<RateCurve>, nullptr, nullptr,
                         nullptr, g_methods});
}

}  // namespace

VOREL_CLASS_OBJECT(RateCurve, create)

}  // namespace vorel::py
