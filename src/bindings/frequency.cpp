// Frequency: the four compounding frequencies, numbered 0 to 3 in Python.

#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

constexpr Frequency kMembers[] = {Frequency::Annual, Frequency::SemiAnnual, Frequency::Quarterly,
                                  Frequency::Monthly};

PyObject* repr(PyObject* self) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(frequency, receiver<Frequency>(self));
        return from_str(debug_text(*frequency));
    });
}

PyObject* get_value(PyObject* self, void*) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(frequency, receiver<Frequency>(self));
        return from_i64(periods_per_year(*frequency));
    });
}

PyMethodDef g_methods[] = {kReduceMethod, kEndOfMethods};

PyGetSetDef g_getset[] = {
    {"value", get_value, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyRef create() { return Enumeration<Frequency, kMembers>::create("builtins.Frequency", repr, g_methods, g_getset); }

}  // namespace

VOREL_CLASS_OBJECT(Frequency, create)

}  // namespace vorel::py
