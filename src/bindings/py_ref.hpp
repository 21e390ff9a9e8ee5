#pragma once
// Owning handle for one Python reference.

#include <utility>

#include "bindings/python.hpp"

namespace vorel::py {

class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new reference (null allowed: a failed call).
    static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
    // Adds a reference to a borrowed pointer.
    static PyRef borrow(PyObject* object) noexcept {
        Py_XINCREF(object);
        return PyRef(object);
    }

    PyRef(const PyRef& other) noexcept : object_(other.object_) { Py_XINCREF(object_); }
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const noexcept { return object_; }
    // Hands the reference to the caller.
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    explicit PyRef(PyObject* object) noexcept : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace vorel::py
