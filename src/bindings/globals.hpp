#pragma once
// Interpreter objects looked up once per process, at module initialisation:
// interned attribute names and what the module needs from `datetime` and
// `collections.abc`. Never released.

#include "bindings/python.hpp"

namespace vorel::py {

struct InternedNames {
    PyObject* qualname;
    PyObject* module;
    PyObject* utcoffset;
    PyObject* timestamp;
    PyObject* astimezone;
    PyObject* tzinfo;
    PyObject* year;
    PyObject* month;
    PyObject* day;
    PyObject* hour;
    PyObject* minute;
    PyObject* second;
    PyObject* microsecond;
};

struct Globals {
    InternedNames names;
    PyObject* datetime_type;  // datetime.datetime
    PyObject* date_type;      // datetime.date
    PyObject* utc;            // datetime.timezone.utc
    PyObject* sequence_abc;   // collections.abc.Sequence
};

// Valid once init_globals() has succeeded.
const Globals& globals() noexcept;

// Idempotent; false with an exception set on failure.
bool init_globals();

}  // namespace vorel::py
