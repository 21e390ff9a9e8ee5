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

// An attribute of the instances of one class, read through the data descriptor
// the class defines for it. For an instance of exactly that class this is the
// call the generic attribute lookup ends in, without the lookup; it is only set
// up for immutable classes that use the generic lookup.
struct Field {
    PyObject* descriptor;  // null: read by name only
    descrgetfunc get;

    // A new reference, or null with an exception set.
    PyObject* read(PyObject* object) const {
        return get(descriptor, object, reinterpret_cast<PyObject*>(Py_TYPE(object)));
    }
};

// The fields of exact `date` instances, and of exact `datetime` instances.
struct DateFields {
    Field year, month, day;
};
struct DateTimeFields {
    Field year, month, day, hour, minute, second, microsecond, tzinfo;
};

// The attributes every class has, read through `type`'s own descriptors, so
// that a metaclass cannot put something else in their place.
struct TypeFields {
    Field qualname, module;
};

struct Globals {
    InternedNames names;
    TypeFields type_fields;
    PyObject* datetime_type;  // datetime.datetime
    PyObject* date_type;      // datetime.date
    PyObject* timezone_type;  // datetime.timezone
    PyObject* utc;            // datetime.timezone.utc
    PyObject* sequence_abc;   // collections.abc.Sequence
    // Whether the fields below are read directly: only when `date` and
    // `datetime` are classes that cannot change, with the generic lookup, and
    // every field is a data descriptor.
    bool direct_fields;
    DateFields date_fields;
    DateTimeFields datetime_fields;
    // Whether timezone's methods are the interpreter's own: an exact `timezone`
    // is then a fixed offset, and asking it for its offset runs no Python code.
    bool builtin_timezone;
};

// Valid once init_globals() has succeeded.
const Globals& globals() noexcept;

// Idempotent; false with an exception set on failure.
bool init_globals();

}  // namespace vorel::py
