#include "bindings/globals.hpp"

#include "bindings/py_ref.hpp"

namespace vorel::py {
namespace {

Globals g_globals{};
bool g_ready = false;

// The helpers keep what an earlier, partly failed initialisation already found.
bool intern(PyObject*& slot, const char* text) {
    if (slot != nullptr) return true;
    slot = PyUnicode_InternFromString(text);
    return slot != nullptr;
}

bool lookup(PyObject*& slot, const char* module_name, const char* attribute) {
    if (slot != nullptr) return true;
    PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
    if (!module) return false;
    slot = PyObject_GetAttrString(module.get(), attribute);
    return slot != nullptr;
}

bool is_immutable(PyObject* type) {
    return PyType_Check(type) &&
           (PyType_GetFlags(reinterpret_cast<PyTypeObject*>(type)) & Py_TPFLAGS_IMMUTABLETYPE) != 0;
}

// Whether the attributes of `type`'s instances can be read through the class's
// descriptors: a class that cannot change, with the generic attribute lookup.
bool has_fixed_lookup(PyObject* type) {
    return is_immutable(type) &&
           PyType_GetSlot(reinterpret_cast<PyTypeObject*>(type), Py_tp_getattro) ==
               reinterpret_cast<void*>(PyObject_GenericGetAttr);
}

// The data descriptor of attribute `name` of `type`'s instances; false with
// an exception set if the lookup fails, true with `field` left null if the
// attribute is not a data descriptor.
bool find_field(Field& field, PyObject* type, PyObject* name) {
    if (field.descriptor != nullptr) return true;
    PyRef descriptor = PyRef::steal(PyObject_GetAttr(type, name));
    if (!descriptor) return false;
    PyTypeObject* kind = Py_TYPE(descriptor.get());
    auto get = reinterpret_cast<descrgetfunc>(PyType_GetSlot(kind, Py_tp_descr_get));
    if (get == nullptr || PyType_GetSlot(kind, Py_tp_descr_set) == nullptr) return true;
    field.get = get;
    field.descriptor = descriptor.release();
    return true;
}

// `type`'s own descriptor of `name`, from its dictionary (reading the
// attribute of `type` would give type's own name instead).
bool find_type_field(Field& field, PyObject* name) {
    if (field.descriptor != nullptr) return true;
    PyRef dict = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyType_Type), "__dict__"));
    if (!dict) return false;
    PyRef descriptor = PyRef::steal(PyObject_GetItem(dict.get(), name));
    if (!descriptor) return false;
    auto get = reinterpret_cast<descrgetfunc>(PyType_GetSlot(Py_TYPE(descriptor.get()), Py_tp_descr_get));
    if (get == nullptr) {
        PyErr_SetString(PyExc_SystemError, "type's name attributes are not descriptors");
        return false;
    }
    field.get = get;
    field.descriptor = descriptor.release();
    return true;
}

bool find_fields() {
    const InternedNames& n = g_globals.names;
    DateFields& date = g_globals.date_fields;
    DateTimeFields& datetime = g_globals.datetime_fields;
    PyObject* date_type = g_globals.date_type;
    PyObject* datetime_type = g_globals.datetime_type;
    if (!find_field(date.year, date_type, n.year) || !find_field(date.month, date_type, n.month) ||
        !find_field(date.day, date_type, n.day) || !find_field(datetime.year, datetime_type, n.year) ||
        !find_field(datetime.month, datetime_type, n.month) || !find_field(datetime.day, datetime_type, n.day) ||
        !find_field(datetime.hour, datetime_type, n.hour) || !find_field(datetime.minute, datetime_type, n.minute) ||
        !find_field(datetime.second, datetime_type, n.second) ||
        !find_field(datetime.microsecond, datetime_type, n.microsecond) ||
        !find_field(datetime.tzinfo, datetime_type, n.tzinfo)) {
        return false;
    }
    const Field* all[] = {&date.year,       &date.month,      &date.day,         &datetime.year,
                          &datetime.month,  &datetime.day,    &datetime.hour,    &datetime.minute,
                          &datetime.second, &datetime.microsecond, &datetime.tzinfo};
    bool complete = true;
    for (const Field* field : all) complete = complete && field->descriptor != nullptr;
    g_globals.direct_fields = complete && has_fixed_lookup(date_type) && has_fixed_lookup(datetime_type);
    return true;
}

}  // namespace

const Globals& globals() noexcept { return g_globals; }

bool init_globals() {
    if (g_ready) return true;
    InternedNames& n = g_globals.names;
    const bool names_ok = intern(n.qualname, "__qualname__") && intern(n.module, "__module__") &&
                          intern(n.utcoffset, "utcoffset") && intern(n.timestamp, "timestamp") &&
                          intern(n.astimezone, "astimezone") && intern(n.tzinfo, "tzinfo") &&
                          intern(n.year, "year") && intern(n.month, "month") && intern(n.day, "day") &&
                          intern(n.hour, "hour") && intern(n.minute, "minute") && intern(n.second, "second") &&
                          intern(n.microsecond, "microsecond");
    if (!names_ok) return false;
    if (!lookup(g_globals.datetime_type, "datetime", "datetime") ||
        !lookup(g_globals.date_type, "datetime", "date") ||
        !lookup(g_globals.sequence_abc, "collections.abc", "Sequence")) {
        return false;
    }
    if (g_globals.utc == nullptr) {
        PyRef module = PyRef::steal(PyImport_ImportModule("datetime"));
        if (!module) return false;
        PyRef timezone = PyRef::steal(PyObject_GetAttrString(module.get(), "timezone"));
        if (!timezone) return false;
        g_globals.utc = PyObject_GetAttrString(timezone.get(), "utc");
        if (g_globals.utc == nullptr) return false;
    }
    if (g_globals.timezone_type == nullptr) {
        PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(g_globals.utc));
        Py_INCREF(type);
        g_globals.timezone_type = type;
    }
    if (!find_fields() || !find_type_field(g_globals.type_fields.qualname, n.qualname) ||
        !find_type_field(g_globals.type_fields.module, n.module)) {
        return false;
    }
    g_globals.builtin_timezone = is_immutable(g_globals.timezone_type) && is_immutable(g_globals.datetime_type);
    g_ready = true;
    return true;
}

}  // namespace vorel::py
