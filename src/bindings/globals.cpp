#include "bindings/globals.hpp"

#include "bindings/py_ref.hpp"

namespace vorel::py {
namespace {

Globals g_globals{};
bool g_ready = false;

// Both helpers keep what an earlier, partly failed initialisation already found.
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
    g_ready = true;
    return true;
}

}  // namespace vorel::py
