#pragma once
// Pickling and copying. The __reduce__ of every class gives
//     (vorel._pickle.load, (format, "<Class>", state))
// where the state is a tuple of plain Python values and vorel objects, which
// pickle themselves. load() refuses a format it does not read, then rebuilds
// the value from its state with the checks its constructor makes. Enumeration
// members and day-count constants load as the very objects the classes hold.
// `vorel._pickle` is a module object of its own, found through sys.modules and
// never an attribute of the package.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/object.hpp"
#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"
#include "core/period/instant.hpp"

namespace vorel::py {

// The format this version writes, and the newest it reads.
inline constexpr long kPickleFormat = 1;

// The state of a value of the class wrapping T, and the object a state
// rebuilds (null with an exception set when the state is not one T writes).
// Each class's file defines both for its T.
template <class T>
PyRef pickled_state(const T& value);
template <class T>
PyRef unpickle(PyObject* state);

// The __reduce__ entry of every class's method table.
PyObject* reduce(PyObject* self, PyObject* unused);
inline constexpr PyMethodDef kReduceMethod{"__reduce__", reduce, METH_NOARGS, nullptr};

// Creates `vorel._pickle` and records it in sys.modules; false with an exception set on failure.
bool create_pickle_module();

// Reading a state. Failures raise ValueError "malformed vorel pickle: ...",
// or the conversion's own error for an item of the wrong type.
void raise_malformed(const char* what);

// The items of a state that must be a tuple of N items (borrowed).
template <std::size_t N>
std::optional<std::array<PyObject*, N>> state_items(PyObject* state) {
    std::array<PyObject*, N> items{};
    if (!PyTuple_Check(state) || PyTuple_Size(state) != static_cast<Py_ssize_t>(N)) {
        raise_malformed("a state of the wrong shape");
        return std::nullopt;
    }
    for (std::size_t i = 0; i < N; ++i) items[i] = PyTuple_GetItem(state, static_cast<Py_ssize_t>(i));
    return items;
}

// A code in [0, count): the index of a variant, an enumerator.
std::optional<std::uint8_t> code_in(PyObject* object, std::uint8_t count);

// The first item of a state whose first item is a code in [0, count).
std::optional<std::uint8_t> state_kind(PyObject* state, std::uint8_t count);

// An instant as (days since 1970-01-01, second of the day, nanosecond).
PyRef instant_state(const Instant& instant);
std::optional<Instant> instant_from_state(PyObject* object);

// A member of an enumeration-like class: its state is the attribute path under
// which the class holds it ("Call", "THIRTY_360.US_ISDA"), and loading gives
// that very attribute after checking it is an instance of `type`.
PyRef member_state(std::string_view path);
PyRef member_from_state(PyObject* state, PyTypeObject* type);

// An object of the class wrapping T the state holds; with `none_allowed`, None
// gives a null reference.
template <class T>
std::optional<PyRef> held_object(PyObject* object, bool none_allowed = false) {
    if (none_allowed && object == Py_None) return PyRef();
    if (!check_type<T>(object)) return std::nullopt;
    return PyRef::borrow(object);
}

}  // namespace vorel::py
