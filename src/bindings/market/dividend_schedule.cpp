// DividendSchedule(raw_divs): (ex-date, amount) pairs in the caller's order,
// ex-dates in any time zone stored as UTC instants.

#include <utility>

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

struct RawDividend {
    PyRef ex_date;
    double amount;
};

// The structure of one entry: a 2-tuple whose second item is a number.
std::optional<RawDividend> raw_dividend(PyObject* item) {
    if (!PyTuple_Check(item)) {
        raise_cast_error(item, "tuple");
        return std::nullopt;
    }
    const Py_ssize_t size = PyTuple_Size(item);
    if (size != 2) {
        PyErr_Format(PyExc_TypeError, "expected tuple of length 2, but got tuple of length %zd", size);
        return std::nullopt;
    }
    PyRef ex_date = PyRef::steal(PySequence_GetItem(item, 0));
    if (!ex_date) return std::nullopt;
    PyRef amount_object = PyRef::steal(PySequence_GetItem(item, 1));
    if (!amount_object) return std::nullopt;
    VOREL_LET(amount, to_f64(amount_object.get()));
    return RawDividend{std::move(ex_date), amount};
}

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"DividendSchedule.__new__", {"raw_divs"}};
        VOREL_LET(bound, bind(signature, args, kwargs));
        VOREL_LET(raw, named("raw_divs", to_vector(bound[0], raw_dividend)));
        std::vector<Dividend> entries;
        entries.reserve(raw.size());
        for (const RawDividend& entry : raw) {
            VOREL_LET(instant, instant_converted_to_utc(
                                   entry.ex_date.get(),
                                   "Ex-dates must be timezone-aware datetime objects. Plain dates are rejected.",
                                   "Datetime must be timezone-aware (e.g., use New York or UTC time)."));
            entries.push_back(Dividend{ValuationTime::at_instant(instant), entry.amount});
        }
        return make_instance(type, DividendSchedule(std::move(entries)));
    });
}

PyMethodDef g_methods[] = {kReduceMethod, kEndOfMethods};

PyRef create() {
    return create_class({"builtins.DividendSchedule", "DividendSchedule(raw_divs)\n--\n\n",
                         sizeof(Object<DividendSchedule>), dealloc<DividendSchedule>, construct, nullptr, nullptr,
                         g_methods});
}

// One dividend: (ex-date instant, amount).
std::optional<Dividend> dividend_from_state(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(ex_date, instant_from_state(items[0]));
    VOREL_LET(amount, to_f64(items[1]));
    return Dividend{ValuationTime::at_instant(ex_date), amount};
}

}  // namespace

VOREL_CLASS_OBJECT(DividendSchedule, create)

// (dividends,): a tuple of (ex-date instant, amount) in the schedule's order.
template <>
PyRef pickled_state<DividendSchedule>(const DividendSchedule& schedule) {
    return tuple_of(tuple_from(schedule.entries(), [](const Dividend& dividend) -> PyRef {
        if (dividend.ex_date.tag != ValuationTime::Tag::Instant) {
            raise(PyExc_TypeError, "cannot pickle a dividend whose ex-date is a calendar date");
            return {};
        }
        return tuple_of(instant_state(dividend.ex_date.instant), from_f64(dividend.amount));
    }));
}

template <>
PyRef unpickle<DividendSchedule>(PyObject* state) {
    VOREL_LET(items, state_items<1>(state));
    VOREL_LET(entries, to_vector(items[0], dividend_from_state));
    return wrap(DividendSchedule(std::move(entries)));
}

}  // namespace vorel::py
