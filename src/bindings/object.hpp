#pragma once
// Instances of the module's classes: the object header, the borrow flag and one
// C++ value. Helpers create them, borrow them and copy values out of them.

#include <atomic>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "bindings/borrow_flag.hpp"
#include "bindings/frame.hpp"
#include "bindings/globals.hpp"
#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"

namespace vorel::py {

template <class T>
struct Object {
    PyObject_HEAD
    BorrowFlag borrow;
    T value;
};

// What the module keeps of the Python class that wraps T: the class object once
// created, and the class's allocation slots, read on first use. The classes are
// heap types of our own whose slots never change, all made by create_class()
// with the same base and flags, so the slots read from one class made for T
// hold for any other.
template <class T>
struct ClassObject {
    static inline std::atomic<PyTypeObject*> type{nullptr};
    static inline std::atomic<allocfunc> alloc_slot{nullptr};
    static inline std::atomic<freefunc> free_slot{nullptr};
};

// Creates the class that wraps T and records it in ClassObject<T> (borrowed;
// null with an exception set if creation failed). Each class file defines its
// specialisation with VOREL_CLASS_OBJECT.
template <class T>
PyTypeObject* create_type_object();

// The class object of the Python class that wraps T (created on first request;
// borrowed; null with an exception set if creation failed).
template <class T>
PyTypeObject* type_object() {
    if (PyTypeObject* type = ClassObject<T>::type.load(std::memory_order_acquire)) return type;
    return create_type_object<T>();
}

// The class's `__qualname__` or `__module__` (`part`) as a str, read through
// `type`'s own descriptor and, should it hold anything else, its str(); null
// with an exception set on failure.
PyRef type_name_part(PyObject* type, const Field& part);

// TypeError "'<type of object>' object cannot be cast as '<expected>'".
void raise_cast_error(PyObject* object, const char* expected);
void raise_cast_error(PyObject* object, PyTypeObject* expected);

inline bool is_instance_of(PyObject* object, PyTypeObject* type) noexcept {
    return Py_TYPE(object) == type || PyType_IsSubtype(Py_TYPE(object), type);
}

template <class T>
Object<T>* as_object(PyObject* object) noexcept {
    return reinterpret_cast<Object<T>*>(object);
}

// A new instance of `type` (a class wrapping T) holding `value`.
template <class T>
PyRef make_instance(PyTypeObject* type, T value) {
    static_assert(std::is_nothrow_move_constructible_v<T>);
    allocfunc alloc = ClassObject<T>::alloc_slot.load(std::memory_order_relaxed);
    if (alloc == nullptr) {
        alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
        ClassObject<T>::alloc_slot.store(alloc, std::memory_order_relaxed);
    }
    PyObject* raw = alloc(type, 0);
    if (raw == nullptr) return {};
    auto* object = as_object<T>(raw);
    new (&object->borrow) BorrowFlag();
    new (&object->value) T(std::move(value));
    return PyRef::steal(raw);
}

template <class T>
PyRef wrap(T value) {
    PyTypeObject* type = type_object<T>();
    if (type == nullptr) return {};
    return make_instance<T>(type, std::move(value));
}

template <class T>
void dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    auto* object = as_object<T>(self);
    object->value.~T();
    object->borrow.~BorrowFlag();
    freefunc release = ClassObject<T>::free_slot.load(std::memory_order_relaxed);
    if (release == nullptr) {
        release = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        ClassObject<T>::free_slot.store(release, std::memory_order_relaxed);
    }
    release(self);
    Py_DECREF(type);
}

enum class Access { Shared, Exclusive };

// A borrow of an instance, released when the guard goes away.
template <class T, Access kAccess>
class Borrow {
public:
    using Ref = std::conditional_t<kAccess == Access::Shared, const T&, T&>;

    explicit Borrow(Object<T>* object) noexcept : object_(object) {}
    Borrow(Borrow&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Borrow& operator=(Borrow&&) = delete;
    ~Borrow() {
        if (object_ == nullptr) return;
        if constexpr (kAccess == Access::Shared) {
            object_->borrow.release_shared();
        } else {
            object_->borrow.release_exclusive();
        }
    }
    Ref operator*() const noexcept { return object_->value; }
    std::remove_reference_t<Ref>* operator->() const noexcept { return &object_->value; }

private:
    Object<T>* object_;
};

// Borrows an object already known to be a T; the borrow RuntimeError otherwise.
template <class T, Access kAccess>
std::optional<Borrow<T, kAccess>> borrow(PyObject* object) {
    auto* typed = as_object<T>(object);
    if constexpr (kAccess == Access::Shared) {
        if (!typed->borrow.try_acquire_shared()) {
            raise(PyExc_RuntimeError, "Already mutably borrowed");
            return std::nullopt;
        }
    } else {
        if (!typed->borrow.try_acquire_exclusive()) {
            raise(PyExc_RuntimeError, "Already borrowed");
            return std::nullopt;
        }
    }
    return Borrow<T, kAccess>(typed);
}

namespace detail {
// The whole check against the class `type_object()` gives (creating it on first
// use): instances of subclasses pass, anything else is a cast error. One
// function for all classes, kept out of line.
bool check_type_in_full(PyObject* object, PyTypeObject* (*type_object)());
}  // namespace detail

// Checks that `object` is a T (cast error otherwise). An instance of exactly the
// class, the usual case, is answered inline.
template <class T>
bool check_type(PyObject* object) {
    PyTypeObject* type = ClassObject<T>::type.load(std::memory_order_acquire);
    if (type != nullptr && Py_TYPE(object) == type) return true;
    return detail::check_type_in_full(object, type_object<T>);
}

// The receiver of a method: type check, then the borrow (shared for reading
// methods, exclusive for those that change the object).
template <class T, Access kAccess = Access::Shared>
std::optional<Borrow<T, kAccess>> receiver(PyObject* self) {
    if (!check_type<T>(self)) return std::nullopt;
    return borrow<T, kAccess>(self);
}

// An argument that must be a T, copied out under a shared borrow.
template <class T>
std::optional<T> extract(PyObject* object) {
    if (!check_type<T>(object)) return std::nullopt;
    auto borrowed = borrow<T, Access::Shared>(object);
    if (!borrowed) return std::nullopt;
    return **borrowed;
}

}  // namespace vorel::py
