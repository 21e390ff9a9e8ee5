// InterestRate(rate, compounding, dcc) and its discount factor.

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<3> signature{"InterestRate.__new__", {"rate", "compounding", "dcc"}};
        VOREL_LET(bound, bind(signature, args, kwargs));
        VOREL_LET(rate, named("rate", to_f64(bound[0])));
        VOREL_LET(compounding, named("compounding", extract<Compounding>(bound[1])));
        VOREL_LET(dcc, named("dcc", extract<DayCountConvention>(bound[2])));
        return make_instance(type, InterestRate{std::move(dcc), rate, compounding});
    });
}

PyObject* discount_factor(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"InterestRate.discount_factor", {"t"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(rate, receiver<InterestRate>(self));
        VOREL_LET(t, named("t", to_f64(bound[0])));
        return from_f64(rate->discount_factor(t));
    });
}

PyMethodDef g_methods[] = {
    method("discount_factor", discount_factor, "discount_factor($self, t)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.InterestRate", "InterestRate(rate, compounding, dcc)\n--\n\n",
                         sizeof(Object<InterestRate>), dealloc<InterestRate>, construct, nullptr, nullptr,
                         g_methods});
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
