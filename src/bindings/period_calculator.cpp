// PeriodCalculator: day counts and year fractions between Python dates.

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"

namespace vorel::py {
namespace {

PyObject* days_between(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<3> signature{"PeriodCalculator.days_between", {"start", "end", "convention"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(start, named("start", calendar_date(bound[0])));
        VOREL_LET(end, named("end", calendar_date(bound[1])));
        VOREL_LET(convention, named("convention", extract<DayCountConvention>(bound[2])));
        return from_i64(vorel::days_between(start, end, convention));
    });
}

PyObject* year_fraction(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<3> signature{"PeriodCalculator.year_fraction", {"start", "end", "convention"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(start, named("start", instant_strict_utc(bound[0])));
        VOREL_LET(end, named("end", instant_strict_utc(bound[1])));
        VOREL_LET(convention, named("convention", extract<DayCountConvention>(bound[2])));
        return from_f64(vorel::year_fraction(start, end, convention));
    });
}

PyMethodDef g_methods[] = {
    static_method("days_between", days_between, "days_between(start, end, convention)\n--\n\n"),
    static_method("year_fraction", year_fraction, "year_fraction(start, end, convention)\n--\n\n"),
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.PeriodCalculator", "", sizeof(Object<PeriodCalculatorClass>),
                         dealloc<PeriodCalculatorClass>, nullptr, nullptr, nullptr, g_methods});
}

}  // namespace

VOREL_CLASS_OBJECT(PeriodCalculatorClass, create)

}  // namespace vorel::py
