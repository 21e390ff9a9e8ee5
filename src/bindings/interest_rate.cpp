// InterestRate(rate, compounding, dcc) and its discount factor.

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

InterestRate make(double rate, Compounding compounding, DayCountConvention dcc) {
    return InterestRate{std::move(dcc), rate, compounding};
}

using Declared = Class<InterestRate, "InterestRate">;

PyRef create() {
    return Declared::create<Declared::constructor<make, "rate", "compounding", "dcc">,
                            Declared::method<"discount_factor", &InterestRate::discount_factor, "t">,
                            Declared::pickled>();
}

}  // namespace

VOREL_CLASS_OBJECT(InterestRate, create)

// (rate, compounding, dcc), as the constructor takes them.
template <>
PyRef pickled_state<InterestRate>(const InterestRate& rate) {
    return tuple_of(from_f64(rate.rate), wrap(rate.compounding), wrap(rate.day_count));
}

template <>
PyRef unpickle<InterestRate>(PyObject* state) {
    VOREL_LET(items, state_items<3>(state));
    VOREL_LET(rate, to_f64(items[0]));
    VOREL_LET(compounding, extract<Compounding>(items[1]));
    VOREL_LET(day_count, extract<DayCountConvention>(items[2]));
    return wrap(InterestRate{std::move(day_count), rate, compounding});
}

}  // namespace vorel::py
