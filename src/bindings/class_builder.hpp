#pragma once
// Heap types for the module's classes, each created once per process.

#include <atomic>

#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"

namespace vorel::py {

struct ClassDef {
    const char* name;  // "builtins.<Class>"; must outlive the process (the type keeps the pointer)
    const char* doc;   // the constructor's text signature, or "" for a class without one
    int basicsize;
    destructor dealloc;
    newfunc constructor = nullptr;  // null: calling the class raises TypeError
    reprfunc repr = nullptr;
    unaryfunc to_int = nullptr;
    PyMethodDef* methods = nullptr;
    PyGetSetDef* getset = nullptr;
};

// A new final class without instance dictionary, weak references or garbage
// collection support; null with an exception set on failure.
PyRef create_class(const ClassDef& def);

inline PyTypeObject* as_type(const PyRef& type) noexcept { return reinterpret_cast<PyTypeObject*>(type.get()); }

// Sets a class attribute; false with an exception set (also when `value` is
// null, i.e. its creation failed).
bool add_class_attribute(const PyRef& type, const char* name, const PyRef& value);

// The once-per-process class object of one class. `create` returns the new
// class as a PyRef; the slot keeps that reference for the life of the process.
class TypeSlot {
public:
    template <class Create>
    PyTypeObject* get(Create create) {
        if (PyTypeObject* type = type_.load(std::memory_order_acquire)) return type;
        PyRef created = create();
        if (!created) return nullptr;
        PyTypeObject* expected = nullptr;
        if (!type_.compare_exchange_strong(expected, as_type(created), std::memory_order_acq_rel)) {
            return expected;  // another initialisation won; ours is released
        }
        return reinterpret_cast<PyTypeObject*>(created.release());
    }

private:
    std::atomic<PyTypeObject*> type_{nullptr};
};

}  // namespace vorel::py

// Defines type_object<Type>() from a function returning the new class.
#define VOREL_CLASS_OBJECT(Type, create)      \
    template <>                               \
    PyTypeObject* type_object<Type>() {       \
        static TypeSlot slot;                 \
        return slot.get(create);              \
    }
