#pragma once
// Heap types for the module's classes, each created once per process.

#include <atomic>
#include <cstdint>
#include <string_view>

#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/object.hpp"
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

// The once-per-process class object kept in `slot`. `create` returns the new
// class as a PyRef; the slot keeps that reference for the life of the process.
template <class Create>
PyTypeObject* publish_class(std::atomic<PyTypeObject*>& slot, Create create) {
    if (PyTypeObject* type = slot.load(std::memory_order_acquire)) return type;
    PyRef created = create();
    if (!created) return nullptr;
    PyTypeObject* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, as_type(created), std::memory_order_acq_rel)) {
        return expected;  // another initialisation won; ours is released
    }
    return reinterpret_cast<PyTypeObject*>(created.release());
}

// The class object of a class that no C++ type stands for.
class TypeSlot {
public:
    template <class Create>
    PyTypeObject* get(Create create) {
        return publish_class(type_, create);
    }

private:
    std::atomic<PyTypeObject*> type_{nullptr};
};

}  // namespace vorel::py

// Defines create_type_object<Type>() from a function returning the new class.
#define VOREL_CLASS_OBJECT(Type, create)                       \
    template <>                                                \
    PyTypeObject* create_type_object<Type>() {                 \
        return publish_class(ClassObject<Type>::type, create); \
    }
