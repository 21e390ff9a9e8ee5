// DividendSchedule(raw_divs): (ex-date, amount) pairs in the caller's order,
// ex-dates in any time zone stored as UTC instants.

#include <utility>

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/frame.hpp"

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

PyRef create() {
    return create_class({"builtins.DividendSchedule", "DividendSchedule(raw_divs)\n--\n\n",
                         sizeof(Object<DividendSchedule>), dealloc<DividendSchedule>, construct});
}

}  // namespace

VOREL_CLASS_OBJECT(DividendSchedule, create)

}  // namespace vorel::py
