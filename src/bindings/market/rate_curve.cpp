// RateCurve: flat, continuous and interpolated curves built by static methods.

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
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

using Declared = Class<RateCurve, "RateCurve">;

PyRef create() {
    return Declared::create<
        Declared::static_method<"flat", RateCurve::flat, "rate">,
        Declared::static_method<"continuous", RateCurve::continuous, "rate", "day_count_convention">,
        Declared::static_method<"interpolated", wrap_interpolated, "reference_date", "tenors", "rates">,
        Declared::method<"zero_rate", &RateCurve::zero_rate, "t">,
        Declared::method<"discount_factor", &RateCurve::discount_factor, "t">, Declared::pickled>();
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
