// RateCurve: flat, continuous and interpolated curves built by static methods.

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

// An interpolated curve, or ValueError "Curve Error: ..." when its pillars cannot be laid out.
PyRef wrap_interpolated(Date reference_date, std::vector<Tenor> tenors, std::vector<InterestRate> rates) {
    auto curve = RateCurve::interpolated(reference_date, std::move(tenors), std::move(rates));
    if (!curve) {
        raise(PyExc_ValueError, "Curve Error: " + curve.error().debug_text());
        return {};
    }
    return wrap(std::move(*curve));
}

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
        return wrap_interpolated(reference_date, std::move(tenors), std::move(rates));
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
    kReduceMethod,
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.RateCurve", "", sizeof(Object<RateCurve>), dealloc<RateCurve>, nullptr, nullptr,
                         nullptr, g_methods});
}

}  // namespace

VOREL_CLASS_OBJECT(RateCurve, create)

// What the curve was built from, after the index of its kind: (0, rate) for
// flat, (1, reference date in days since 1970-01-01, tenors, rates) for
// interpolated, (2, rate, convention) for continuous.
template <>
PyRef pickled_state<RateCurve>(const RateCurve& curve) {
    const auto& variant = curve.variant();
    const PyRef kind = from_i64(static_cast<std::int64_t>(variant.index()));
    if (const auto* flat = std::get_if<RateCurve::Flat>(&variant)) return tuple_of(kind, wrap(flat->rate));
    if (const auto* continuous = std::get_if<RateCurve::Continuous>(&variant)) {
        return tuple_of(kind, from_f64(continuous->rate.rate), wrap(continuous->rate.day_count));
    }
    const auto& interpolated = std::get<RateCurve::Interpolated>(variant);
    return tuple_of(kind, from_i64(interpolated.reference_date.days_since_epoch()),
                    tuple_from(interpolated.tenors, kWrapped), tuple_from(interpolated.rates, kWrapped));
}

template <>
PyRef unpickle<RateCurve>(PyObject* state) {
    VOREL_LET(kind, state_kind(state, 3));
    if (kind == 0) {
        VOREL_LET(items, state_items<2>(state));
        VOREL_LET(rate, extract<InterestRate>(items[1]));
        return wrap(RateCurve::flat(std::move(rate)));
    }
    if (kind == 2) {
        VOREL_LET(items, state_items<3>(state));
        VOREL_LET(rate, to_f64(items[1]));
        VOREL_LET(day_count, extract<DayCountConvention>(items[2]));
        return wrap(RateCurve::continuous(rate, std::move(day_count)));
    }
    VOREL_LET(items, state_items<4>(state));
    if (!PyLong_Check(items[1])) {
        raise_malformed("a reference date that is not an int");
        return {};
    }
    const std::optional<Date> reference_date = Date::from_days_since_epoch(PyLong_AsLongLong(items[1]));
    if (PyErr_Occurred()) return {};
    if (!reference_date) {
        raise_malformed("a reference date out of range");
        return {};
    }
    VOREL_LET(tenors, to_vector(items[2], extract<Tenor>));
    VOREL_LET(rates, to_vector(items[3], extract<InterestRate>));
    return wrap_interpolated(*reference_date, std::move(tenors), std::move(rates));
}

}  // namespace vorel::py
