#include "bindings/arguments.hpp"

#include <string>

#include "bindings/frame.hpp"

namespace vorel::py {
namespace detail {
namespace {

bool too_many_positional(const SignatureView& sig, Py_ssize_t given) {
    const char* verb = given == 1 ? "was" : "were";
    if (sig.required == sig.count) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zd %s given", sig.qualname,
                     sig.count, given, verb);
    } else {
        PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zd %s given",
                     sig.qualname, sig.required, sig.count, given, verb);
    }
    return false;
}

// Parameter `i`'s name as an interned string; null (then only its text is
// compared) if interning fails.
PyObject* interned_name(const SignatureView& sig, std::size_t i) {
    std::atomic<PyObject*>& slot = sig.interned[i];
    if (PyObject* name = slot.load(std::memory_order_acquire)) return name;
    PyObject* name = PyUnicode_InternFromString(sig.names[i]);
    if (name == nullptr) {
        PyErr_Clear();
        return nullptr;
    }
    PyObject* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, name, std::memory_order_acq_rel)) {
        Py_DECREF(name);  // an earlier call stored the same string
        return expected;
    }
    return name;  // the slot keeps this reference for the life of the process
}

// The position of the parameter named `keyword`, or sig.count for none. A
// keyword is almost always the interned string itself; any other string (made
// at run time, or a str subclass) is compared by its text.
std::size_t parameter_named(const SignatureView& sig, PyObject* keyword) {
    for (std::size_t i = 0; i < sig.count; ++i) {
        if (interned_name(sig, i) == keyword) return i;
    }
    for (std::size_t i = 0; i < sig.count; ++i) {
        if (PyUnicode_CompareWithASCIIString(keyword, sig.names[i]) == 0) return i;
    }
    return sig.count;
}

// Fills the parameter named `keyword`; false with the error set when the name
// is unknown or the parameter already has a value.
bool place_keyword(const SignatureView& sig, PyObject* keyword, PyObject* value, PyObject** out) {
    const std::size_t i = parameter_named(sig, keyword);
    if (i == sig.count) {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.qualname, keyword);
        return false;
    }
    if (out[i] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.qualname, sig.names[i]);
        return false;
    }
    out[i] = value;
    return true;
}

// Reports missing required parameters; turns None into "absent" for optional ones.
bool finish(const SignatureView& sig, PyObject** out) {
    std::size_t missing = 0;
    for (std::size_t i = 0; i < sig.required; ++i) missing += out[i] == nullptr;
    if (missing != 0) {
        std::string message = std::string(sig.qualname) + "() missing " + std::to_string(missing) +
                              " required positional argument" + (missing == 1 ? "" : "s") + ": ";
        std::size_t listed = 0;
        for (std::size_t i = 0; i < sig.required; ++i) {
            if (out[i] != nullptr) continue;
            if (listed != 0) {
                if (missing > 2) message += ',';
                message += listed + 1 == missing ? " and " : " ";
            }
            message += '\'';
            message += sig.names[i];
            message += '\'';
            ++listed;
        }
        raise(PyExc_TypeError, message);
        return false;
    }
    for (std::size_t i = sig.required; i < sig.count; ++i) {
        if (out[i] == Py_None) out[i] = nullptr;
    }
    return true;
}

}  // namespace

bool bind_vector(const SignatureView& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** out) {
    if (nargs > static_cast<Py_ssize_t>(sig.count)) return too_many_positional(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            if (!place_keyword(sig, PyTuple_GetItem(kwnames, k), args[nargs + k], out)) return false;
        }
    }
    return finish(sig, out);
}

bool bind_tuple(const SignatureView& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
    const Py_ssize_t nargs = args != nullptr ? PyTuple_Size(args) : 0;
    if (nargs < 0) return false;
    if (nargs > static_cast<Py_ssize_t>(sig.count)) return too_many_positional(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = PyTuple_GetItem(args, i);
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject *keyword = nullptr, *value = nullptr;
        while (PyDict_Next(kwargs, &position, &keyword, &value)) {
            if (!place_keyword(sig, keyword, value, out)) return false;
        }
    }
    return finish(sig, out);
}

}  // namespace detail
}  // namespace vorel::py
