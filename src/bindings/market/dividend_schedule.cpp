// DividendSchedule(raw_divs): (ex-date, amount) pairs in the caller's order,
// ex-dates in any time zone stored as UTC instants.

#include <utility>

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

// One entry as given: a 2-tuple whose second item is a number.
struct RawDividend {
    PyRef ex_date;
    double amount;

    static std::optional<RawDividend> from_python(PyObject* item);
};

std::optional<RawDividend> RawDividend::from_python(PyObject* item) {
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

std::optional<DividendSchedule> make(std::vector<RawDividend> raw) {
    std::vector<Dividend> entries;
    entries.reserve(raw.size());
    for (const RawDividend& entry : raw) {
        VOREL_LET(instant, instant_converted_to_utc(
                               entry.ex_date.get(),
                               "Ex-dates must be timezone-aware datetime objects. Plain dates are rejected.",
                               "Datetime must be timezone-aware (e.g., use New York or UTC time)."));
        entries.push_back(Dividend{instant, entry.amount});
    }
    return DividendSchedule(std::move(entries));
}

using Declared = Class<DividendSchedule, "DividendSchedule">;

PyRef create() { return Declared::create<Declared::constructor<make, "raw_divs">, Declared::pickled>(); }

// One dividend: (ex-date instant, amount).
std::optional<Dividend> dividend_from_state(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(ex_date, instant_from_state(items[0]));
    VOREL_LET(amount, to_f64(items[1]));
    return Dividend{ex_date, amount};
}

}  // namespace

VOREL_CLASS_OBJECT(DividendSchedule, create)

// (dividends,): a tuple of (ex-date instant, amount) in the schedule's order.
template <>
PyRef pickled_state<DividendSchedule>(const DividendSchedule& schedule) {
    return tuple_of(tuple_from(schedule.entries(), [](const Dividend& dividend) -> PyRef {
        return tuple_of(instant_state(dividend.ex_date), from_f64(dividend.amount));
    }));
}

template <>
PyRef unpickle<DividendSchedule>(PyObject* state) {
    VOREL_LET(items, state_items<1>(state));
    VOREL_LET(entries, to_vector(items[0], dividend_from_state));
    return wrap(DividendSchedule(std::move(entries)));
}

}  // namespace vorel::py
