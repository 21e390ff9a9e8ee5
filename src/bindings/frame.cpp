#include "bindings/frame.hpp"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "core/panic.hpp"

namespace vorel::py {
namespace {

constexpr const char kPanicDoc[] =
    "The exception raised when the native code of vorel panics.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that "
    "it usually propagates all the way up the stack and ends the interpreter.";
constexpr const char kPanicWithoutMessage[] = "native code panicked without a message";

std::atomic<PyObject*> g_panic_type{nullptr};

PyObject* exception_type(ErrorKind kind) noexcept {
    switch (kind) {
        case ErrorKind::InvalidInput: return PyExc_ValueError;
        case ErrorKind::OutOfRange: return PyExc_OverflowError;
        case ErrorKind::TooLarge: return PyExc_MemoryError;
        case ErrorKind::Interrupted: return PyExc_KeyboardInterrupt;
    }
    return PyExc_SystemError;
}

void report_panic(const std::string& message, const char* file, unsigned line, unsigned column) {
    // The thread's id as `std::thread::id` prints it, without the locale machinery of a stream.
    const auto thread = static_cast<unsigned long>(pthread_self());
    std::fprintf(stderr, "thread '%lu' panicked at %s:%u:%u:\n%s\n", thread, file, line, column, message.c_str());
}

void raise_panic(const std::string& message) {
    PyObject* type = panic_exception_type();
    if (type == nullptr) return;  // the failure to create it is pending
    PyErr_SetString(type, message.c_str());
}

}  // namespace

void raise_error(const Error& error) {
    // An interrupt poll that stopped the work raised its own exception (what
    // the signal handler raised); only a poll that raised nothing is made a
    // KeyboardInterrupt here.
    if (error.kind == ErrorKind::Interrupted) {
        if (PyErr_Occurred() == nullptr) PyErr_SetNone(PyExc_KeyboardInterrupt);
        return;
    }
    PyErr_SetString(exception_type(error.kind), error.message.c_str());
}
void raise(PyObject* type, const char* message) { PyErr_SetString(type, message); }
void raise(PyObject* type, const std::string& message) { PyErr_SetString(type, message.c_str()); }

void ensure_error_set() noexcept {
    if (PyErr_Occurred() == nullptr) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
}

void wrap_argument_error(const char* name) noexcept {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type != PyExc_TypeError) {
        PyErr_Restore(type, value, traceback);
        return;
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef owned_type = PyRef::steal(type), original = PyRef::steal(value), tb = PyRef::steal(traceback);
    PyRef text = PyRef::steal(PyObject_Str(original.get()));
    if (!text) return;
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!message) return;
    PyRef replacement = PyRef::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
    if (!replacement) return;
    if (PyObject* cause = PyException_GetCause(original.get())) {
        PyException_SetCause(replacement.get(), cause);  // steals the new reference
    }
    PyErr_SetObject(PyExc_TypeError, replacement.get());
}

PyObject* panic_exception_type() noexcept {
    if (PyObject* type = g_panic_type.load(std::memory_order_acquire)) return type;
    PyObject* created = PyErr_NewExceptionWithDoc("vorel.PanicException", kPanicDoc,
                                                  PyExc_BaseException, nullptr);
    if (created == nullptr) return nullptr;
    PyObject* expected = nullptr;
    if (!g_panic_type.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
        Py_DECREF(created);
        return expected;
    }
    return created;
}

void raise_active_exception() noexcept {
    try {
        try {
            throw;
        } catch (const Panic& p) {
            report_panic(p.message, p.location.file_name(), p.location.line(), p.location.column());
            raise_panic(p.message.empty() ? std::string(kPanicWithoutMessage) : p.message);
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::exception& e) {
            std::string message = e.what()[0] != '\0' ? e.what() : kPanicWithoutMessage;
            report_panic(message, "<unknown>", 0, 0);
            raise_panic(message);
        } catch (...) {
            report_panic(kPanicWithoutMessage, "<unknown>", 0, 0);
            raise_panic(kPanicWithoutMessage);
        }
    } catch (...) {
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
}

}  // namespace vorel::py
