#pragma once
// What a declared entry point's C++ function takes and gives, converted by
// type. A parameter of type P is read by Parameter<P>::convert(object, name),
// which leaves a failure's exception set and names the argument in it; its
// return value goes back to Python through to_python().
//
// Parameter types:
//   double, std::int32_t, std::uint64_t  numbers, through __float__ / __index__
//   Date                                 a date (or datetime, its own fields)
//   UtcTime                              a datetime in exactly UTC
//   AwareTime<kSite>                     an aware datetime of any zone
//   Instance<T>                          a reference to a T, not copied
//   std::vector<T>                       any sequence but str, of T
//   std::optional<T>                     T, or absent: omitted or None
//   any class value T                    a copy of the T an instance wraps
// A file adds a parameter type of its own with a static member
// `std::optional<P> from_python(PyObject*)` (errors not yet named).

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/frame.hpp"
#include "bindings/object.hpp"
#include "bindings/py_ref.hpp"
#include "core/error.hpp"
#include "core/period/date.hpp"
#include "core/period/instant.hpp"

namespace vorel::py {

// A datetime whose tzinfo equals timezone.utc.
struct UtcTime {
    Instant instant;
};

// An aware datetime of any zone, through its POSIX timestamp; `kSite` gives the
// rounding and the messages of the call site.
template <const TimestampSite& kSite>
struct AwareTime {
    Instant instant;
};

// An argument that must be a T, kept as the object itself.
template <class T>
struct Instance {
    PyRef object;
};

// The conversion of one parameter type. `raw` converts without naming the
// argument; `convert` names it in a TypeError. The primary template reads a
// class value, or calls the type's own P::from_python(object).
template <class P>
struct Parameter {
    static std::optional<P> raw(PyObject* object) {
        if constexpr (requires { P::from_python(object); }) {
            return P::from_python(object);
        } else {
            return extract<P>(object);
        }
    }
};

template <>
struct Parameter<double> {
    static std::optional<double> raw(PyObject* object) { return to_f64(object); }
};
template <>
struct Parameter<std::int32_t> {
    static std::optional<std::int32_t> raw(PyObject* object) { return to_i32(object); }
};
template <>
struct Parameter<std::uint64_t> {
    static std::optional<std::uint64_t> raw(PyObject* object) { return to_u64(object); }
};
template <>
struct Parameter<Date> {
    static std::optional<Date> raw(PyObject* object) { return calendar_date(object); }
};
template <>
struct Parameter<UtcTime> {
    static std::optional<UtcTime> raw(PyObject* object) {
        VOREL_LET(instant, instant_strict_utc(object));
        return UtcTime{instant};
    }
};
template <class T>
struct Parameter<Instance<T>> {
    static std::optional<Instance<T>> raw(PyObject* object) {
        if (!check_type<T>(object)) return std::nullopt;
        return Instance<T>{PyRef::borrow(object)};
    }
};
template <class T>
struct Parameter<std::vector<T>> {
    static std::optional<std::vector<T>> raw(PyObject* object) { return to_vector(object, Parameter<T>::raw); }
};

// Names its own type error: utcoffset() and timestamp() raise as they do.
template <const TimestampSite& kSite>
struct Parameter<AwareTime<kSite>> {
    static std::optional<AwareTime<kSite>> convert(PyObject* object, const char* name) {
        VOREL_LET(instant, instant_via_timestamp(object, name, kSite));
        return AwareTime<kSite>{instant};
    }
};

namespace detail {
template <class P>
concept NamesItsErrors = requires(PyObject* object, const char* name) {
    { Parameter<P>::convert(object, name) } -> std::same_as<std::optional<P>>;
};
}  // namespace detail

// `object` (null: the argument is absent) as a P, or nullopt with the error set.
template <class P>
std::optional<P> convert_parameter(PyObject* object, const char* name) {
    if constexpr (detail::NamesItsErrors<P>) {
        return Parameter<P>::convert(object, name);
    } else {
        return named(name, Parameter<P>::raw(object));
    }
}

template <class T>
struct Parameter<std::optional<T>> {
    static std::optional<std::optional<T>> raw(PyObject* object) {
        if (object == nullptr || object == Py_None) return std::optional<T>();
        VOREL_LET(value, Parameter<T>::raw(object));
        return std::optional<T>(std::move(value));
    }
    static std::optional<std::optional<T>> convert(PyObject* object, const char* name) {
        if (object == nullptr || object == Py_None) return std::optional<T>();
        VOREL_LET(value, convert_parameter<T>(object, name));
        return std::optional<T>(std::move(value));
    }
};

template <class P>
inline constexpr bool kOptionalParameter = false;
template <class T>
inline constexpr bool kOptionalParameter<std::optional<T>> = true;

// A function's result as a Python object. Results that are objects already,
// numbers, strings and dates convert as such; any other value is wrapped in
// its class. An empty optional, a failed Result or a null PyRef is a failure
// whose exception is set.
template <class R>
PyRef to_python(R&& value) {
    using V = std::remove_cvref_t<R>;
    if constexpr (std::is_same_v<V, PyRef>) {
        return std::forward<R>(value);
    } else if constexpr (std::is_same_v<V, double>) {
        return from_f64(value);
    } else if constexpr (std::is_same_v<V, bool>) {
        return PyRef::borrow(value ? Py_True : Py_False);
    } else if constexpr (std::is_integral_v<V> && std::is_unsigned_v<V>) {
        return from_u64(static_cast<std::uint64_t>(value));
    } else if constexpr (std::is_integral_v<V>) {
        return from_i64(static_cast<std::int64_t>(value));
    } else if constexpr (std::is_same_v<V, std::string>) {
        return from_str(value);
    } else if constexpr (std::is_same_v<V, Date>) {
        return make_date(value);
    } else if constexpr (requires { typename V::value_type; value.has_value(); }) {
        if (!value) return {};
        return to_python(*std::forward<R>(value));
    } else if constexpr (requires { value.error(); value.ok(); }) {
        auto unwrapped = unwrap(std::forward<R>(value));
        if (!unwrapped) return {};
        return to_python(std::move(*unwrapped));
    } else {
        return wrap(V(std::forward<R>(value)));
    }
}

// A value, or None.
template <class T>
PyRef or_none(const std::optional<T>& value) {
    return value ? to_python(*value) : PyRef::borrow(Py_None);
}

}  // namespace vorel::py
