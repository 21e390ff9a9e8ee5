// Tenor: built by its static methods, laid onto dates by advance().

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

constinit const Signature<1> kDays{"Tenor.days", {"n"}};
constinit const Signature<1> kWeeks{"Tenor.weeks", {"n"}};
constinit const Signature<1> kMonths{"Tenor.months", {"n"}};
constinit const Signature<1> kYears{"Tenor.years", {"n"}};

PyObject* make(TenorUnit unit, const Signature<1>& signature, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(count, named("n", to_i32(bound[0])));
        return wrap(Tenor{unit, count});
    });
}

PyObject* days(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return make(TenorUnit::Days, kDays, args, nargs, kwnames);
}
PyObject* weeks(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return make(TenorUnit::Weeks, kWeeks, args, nargs, kwnames);
}
PyObject* months(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return make(TenorUnit::Months, kMonths, args, nargs, kwnames);
}
PyObject* years(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return make(TenorUnit::Years, kYears, args, nargs, kwnames);
}

PyObject* advance(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"Tenor.advance", {"from"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(tenor, receiver<Tenor>(self));
        VOREL_LET(from, named("from", calendar_date(bound[0])));
        VOREL_LET(date, unwrap(vorel::advance(from, *tenor)));
        return make_date(date);
    });
}

PyMethodDef g_methods[] = {
    static_method("days", days, "days(n)\n--\n\n"),
    static_method("weeks", weeks, "weeks(n)\n--\n\n"),
    static_method("months", months, "months(n)\n--\n\n"),
    static_method("years", years, "years(n)\n--\n\n"),
    method("advance", advance, "advance($self, from)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create() {
    return create_class(
        {"builtins.Tenor", "", sizeof(Object<Tenor>), dealloc<Tenor>, nullptr, nullptr, nullptr, g_methods});
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
