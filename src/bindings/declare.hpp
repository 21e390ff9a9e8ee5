#pragma once
// One declaration per Python class: its constructor, methods, attributes and
// slots, each naming a C++ function and the Python names of its parameters.
// From the declaration come the class object, its method and attribute tables,
// the argument binding and the text signatures; introspection of the class
// (inspect.signature, the type stub's check, the entry-point catalogue's
// check) reads what the declaration says.
//
//     using Declared = Class<Tenor, "Tenor">;
//     PyRef create() {
//         return Declared::create<Declared::static_method<"days", days, "n">,
//                                 Declared::method<"advance", advance, "from">,
//                                 Declared::pickled>();
//     }
//
// A function's parameters are converted by type (bindings/parameter.hpp); a
// parameter of type std::optional<T> is optional and defaults to None. A
// method's first parameter is its receiver: `const T&` reads under a shared
// borrow, `T&` changes under an exclusive one, Self<T> also hands over the
// receiver object. A method whose function returns nothing gives back its
// receiver, so that calls chain. Every entry point runs in the call frame
// (bindings/frame.hpp): arguments are bound, then the receiver is borrowed,
// then arguments are converted in order (a conversion may run Python code that
// calls back into the receiver), then the function runs.

#include <algorithm>
#include <array>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/frame.hpp"
#include "bindings/object.hpp"
#include "bindings/parameter.hpp"
#include "bindings/pickle.hpp"
#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"

namespace vorel::py {

// A name written in a declaration, usable as a template argument.
template <std::size_t N>
struct Name {
    char text[N]{};
    constexpr Name(const char (&literal)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = literal[i];
    }
    static constexpr std::size_t kLength = N - 1;
};

// The names joined, as a null-terminated string of static storage duration.
template <Name... kParts>
struct Joined {
    static constexpr auto kText = [] {
        std::array<char, (decltype(kParts)::kLength + ... + 1)> text{};
        std::size_t at = 0;
        ((std::copy_n(kParts.text, decltype(kParts)::kLength, text.begin() + at), at += decltype(kParts)::kLength),
         ...);
        return text;
    }();
    static constexpr const char* c_str() { return kText.data(); }
};

// A method's receiver together with the object it is, for a method that keeps
// a reference to its receiver.
template <class T>
struct Self {
    PyObject* object;
    const T& value;
};

namespace declared {

// What the members of one class contribute to it; kept for the life of the
// process, since the class object points into it.
struct ClassParts {
    std::vector<PyMethodDef> methods;
    std::vector<PyGetSetDef> attributes;
    std::deque<std::string> texts;  // text signatures, at stable addresses
    std::vector<bool (*)(const PyRef& type)> finish;  // sets class attributes once the class exists
    const char* doc = "";
    newfunc constructor = nullptr;
    reprfunc repr = nullptr;
    unaryfunc to_int = nullptr;

    const char* text(std::string value) { return texts.emplace_back(std::move(value)).c_str(); }
    void close() {
        methods.push_back(kEndOfMethods);
        attributes.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
    }
};

// "name($self, a, b=None)\n--\n\n"; `self` is "$self, " for an instance method.
std::string text_signature(std::string_view name, std::string_view self, const char* const* names,
                           std::size_t count, std::size_t required);

// What is known of a function from its type: result and parameter types
// (a member function's object first). `Lambda` is the closure type whose call
// operator is looked at.
template <class F, class Lambda = void>
struct Callable;
template <class R, class... A>
struct Callable<R (*)(A...)> {
    using Result = R;
    using Parameters = std::tuple<A...>;
};
template <class R, class... A>
struct Callable<R (*)(A...) noexcept> : Callable<R (*)(A...)> {};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...) const> {
    using Result = R;
    using Parameters = std::tuple<const C&, A...>;
};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...) const noexcept> : Callable<R (C::*)(A...) const> {};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...)> {
    using Result = R;
    using Parameters = std::tuple<C&, A...>;
};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...) noexcept> : Callable<R (C::*)(A...)> {};
template <class R, class C>
    requires(!std::is_function_v<R>)
struct Callable<R C::*> {  // a data member, read
    using Result = const R&;
    using Parameters = std::tuple<const C&>;
};
template <class L, class R, class... A>
struct Callable<R (L::*)(A...) const, L> {
    using Result = R;
    using Parameters = std::tuple<A...>;
};
template <class F>
    requires requires { &F::operator(); }
struct Callable<F> : Callable<decltype(&F::operator()), F> {};

template <auto F>
using CallableOf = Callable<std::remove_cv_t<decltype(F)>>;

template <class Tuple>
struct Tail;
template <class First, class... Rest>
struct Tail<std::tuple<First, Rest...>> {
    using Type = std::tuple<Rest...>;
};

// How a method's first parameter takes the receiver.
template <class P>
struct ReceiverOf;
template <class T>
struct ReceiverOf<const T&> {
    using Type = T;
    static constexpr Access kAccess = Access::Shared;
    static const T& pass(PyObject*, const T& value) { return value; }
};
template <class T>
struct ReceiverOf<T&> {
    using Type = T;
    static constexpr Access kAccess = Access::Exclusive;
    static T& pass(PyObject*, T& value) { return value; }
};
template <class T>
struct ReceiverOf<Self<T>> {
    using Type = T;
    static constexpr Access kAccess = Access::Shared;
    static Self<T> pass(PyObject* object, const T& value) { return {object, value}; }
};

template <class P>
using Converted = std::remove_cvref_t<P>;

// The number of leading parameters that are required; none may follow an optional one.
template <class Parameters>
constexpr std::size_t required_count() {
    return []<std::size_t... I>(std::index_sequence<I...>) {
        constexpr bool kOptional[] = {kOptionalParameter<Converted<std::tuple_element_t<I, Parameters>>>..., false};
        std::size_t required = 0;
        while (required < sizeof...(I) && !kOptional[required]) ++required;
        for (std::size_t i = required; i < sizeof...(I); ++i) {
            if (!kOptional[i]) throw "a required parameter follows an optional one";
        }
        return required;
    }(std::make_index_sequence<std::tuple_size_v<Parameters>>());
}

// Converts the bound arguments from position I on, then calls `call` with all
// of them; stops at the first that fails.
template <class Parameters, std::size_t I, std::size_t N, class Call, class... Done>
PyRef convert_and_call(const Bound<N>& bound, const std::array<const char*, N>& names, Call& call,
                       Done&&... done) {
    if constexpr (I == N) {
        return call(std::forward<Done>(done)...);
    } else {
        using P = Converted<std::tuple_element_t<I, Parameters>>;
        std::optional<P> value = convert_parameter<P>(bound[I], names[I]);
        if (!value) return {};
        return convert_and_call<Parameters, I + 1>(bound, names, call, std::forward<Done>(done)..., std::move(*value));
    }
}

// The Python result of calling F; a function returning nothing gives `self`.
template <auto F, class... A>
PyRef result_of(PyObject* self, A&&... args) {
    using R = decltype(std::invoke(F, std::forward<A>(args)...));
    if constexpr (std::is_void_v<R>) {
        std::invoke(F, std::forward<A>(args)...);
        return PyRef::borrow(self);
    } else {
        return to_python(std::invoke(F, std::forward<A>(args)...));
    }
}

template <class T, class R>
PyRef instance_of(PyTypeObject* type, R&& value) {
    using V = std::remove_cvref_t<R>;
    if constexpr (std::is_same_v<V, T>) {
        return make_instance<T>(type, std::forward<R>(value));
    } else if constexpr (requires { value.error(); value.ok(); }) {
        auto unwrapped = unwrap(std::forward<R>(value));
        if (!unwrapped) return {};
        return make_instance<T>(type, std::move(*unwrapped));
    } else {
        if (!value) return {};
        return make_instance<T>(type, std::move(*value));
    }
}

}  // namespace declared

template <class T, Name kName>
struct Class {
    static constexpr const char* kPythonName = kName.text;

    // An instance method named kMethod.
    template <Name kMethod, auto F, Name... kParams>
    struct method {
        using Function = declared::CallableOf<F>;
        using All = typename Function::Parameters;
        using Receiver = declared::ReceiverOf<std::tuple_element_t<0, All>>;
        using Parameters = typename declared::Tail<All>::Type;
        static_assert(std::is_same_v<typename Receiver::Type, T>, "a method's first parameter is its receiver");
        static_assert(std::tuple_size_v<Parameters> == sizeof...(kParams), "one name per parameter");
        static constexpr std::size_t kCount = sizeof...(kParams);
        static constexpr std::array<const char*, kCount> kNames{kParams.text...};
        static constexpr std::size_t kRequired = declared::required_count<Parameters>();
        static constinit inline const Signature<kCount> kSignature{Joined<kName, ".", kMethod>::c_str(),
                                                                   {kParams.text...}, kRequired};

        static PyRef body(PyObject* self, const Bound<kCount>& bound) {
            VOREL_LET(borrowed, (receiver<T, Receiver::kAccess>(self)));
            auto call = [&](auto&&... args) {
                return declared::result_of<F>(self, Receiver::pass(self, *borrowed),
                                              std::forward<decltype(args)>(args)...);
            };
            return declared::convert_and_call<Parameters, 0>(bound, kNames, call);
        }
        static PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
            return run_frame([&]() -> PyRef {
                VOREL_LET(bound, bind(kSignature, args, nargs, kwnames));
                return body(self, bound);
            });
        }
        static PyObject* call_without_arguments(PyObject* self, PyObject*) {
            return run_frame([&]() -> PyRef { return body(self, {}); });
        }
        static void add(declared::ClassParts& parts) {
            const char* text = parts.text(
                declared::text_signature(kMethod.text, "$self, ", kNames.data(), kCount, kRequired));
            if constexpr (kCount == 0) {
                parts.methods.push_back(py::method(kMethod.text, call_without_arguments, text));
            } else {
                parts.methods.push_back(py::method(kMethod.text, call, text));
            }
        }
    };

    // A static method named kMethod.
    template <Name kMethod, auto F, Name... kParams>
    struct static_method {
        using Parameters = typename declared::CallableOf<F>::Parameters;
        static_assert(std::tuple_size_v<Parameters> == sizeof...(kParams), "one name per parameter");
        static_assert(!std::is_void_v<typename declared::CallableOf<F>::Result>, "a static method gives a value");
        static constexpr std::size_t kCount = sizeof...(kParams);
        static constexpr std::array<const char*, kCount> kNames{kParams.text...};
        static constexpr std::size_t kRequired = declared::required_count<Parameters>();
        static constinit inline const Signature<kCount> kSignature{Joined<kName, ".", kMethod>::c_str(),
                                                                   {kParams.text...}, kRequired};

        static PyRef body(const Bound<kCount>& bound) {
            auto call = [](auto&&... args) {
                return declared::result_of<F>(nullptr, std::forward<decltype(args)>(args)...);
            };
            return declared::convert_and_call<Parameters, 0>(bound, kNames, call);
        }
        static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
            return run_frame([&]() -> PyRef {
                VOREL_LET(bound, bind(kSignature, args, nargs, kwnames));
                return body(bound);
            });
        }
        static PyObject* call_without_arguments(PyObject*, PyObject*) {
            return run_frame([&]() -> PyRef { return body({}); });
        }
        static void add(declared::ClassParts& parts) {
            const char* text =
                parts.text(declared::text_signature(kMethod.text, "", kNames.data(), kCount, kRequired));
            if constexpr (kCount == 0) {
                parts.methods.push_back(py::static_method(kMethod.text, call_without_arguments, text));
            } else {
                parts.methods.push_back(py::static_method(kMethod.text, call, text));
            }
        }
    };

    // The constructor: F builds the value from the arguments.
    template <auto F, Name... kParams>
    struct constructor {
        using Parameters = typename declared::CallableOf<F>::Parameters;
        static_assert(std::tuple_size_v<Parameters> == sizeof...(kParams), "one name per parameter");
        static constexpr std::size_t kCount = sizeof...(kParams);
        static constexpr std::array<const char*, kCount> kNames{kParams.text...};
        static constexpr std::size_t kRequired = declared::required_count<Parameters>();
        static constinit inline const Signature<kCount> kSignature{Joined<kName, ".__new__">::c_str(),
                                                                   {kParams.text...}, kRequired};

        static PyObject* call(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
            return run_frame([&]() -> PyRef {
                VOREL_LET(bound, bind(kSignature, args, kwargs));
                auto call = [&](auto&&... values) {
                    return declared::instance_of<T>(type, std::invoke(F, std::forward<decltype(values)>(values)...));
                };
                return declared::convert_and_call<Parameters, 0>(bound, kNames, call);
            });
        }
        static void add(declared::ClassParts& parts) {
            parts.constructor = call;
            parts.doc = parts.text(declared::text_signature(kName.text, "", kNames.data(), kCount, kRequired));
        }
    };

    // A read-only attribute: F reads it from the value.
    template <Name kAttribute, auto F>
    struct get {
        static PyObject* read(PyObject* self, void*) {
            return run_frame([&]() -> PyRef {
                VOREL_LET(value, receiver<T>(self));
                return to_python(std::invoke(F, *value));
            });
        }
        static void add(declared::ClassParts& parts) {
            parts.attributes.push_back({kAttribute.text, read, nullptr, nullptr, nullptr});
        }
    };

    // An attribute that can be assigned: Set(value, new value) stores what
    // assignment gives, converted by its type before the receiver is borrowed,
    // so that a failed conversion changes nothing. Deletion is refused.
    template <Name kAttribute, auto Get, auto Set>
    struct property {
        using Assigned = declared::Converted<std::tuple_element_t<1, typename declared::CallableOf<Set>::Parameters>>;

        static int write(PyObject* self, PyObject* value, void*) {
            return run_status_frame([&]() -> bool {
                if (value == nullptr) {
                    raise(PyExc_AttributeError, "can't delete attribute");
                    return false;
                }
                std::optional<Assigned> converted = convert_parameter<Assigned>(value, kAttribute.text);
                if (!converted) return false;
                auto target = receiver<T, Access::Exclusive>(self);
                if (!target) return false;
                std::invoke(Set, **target, std::move(*converted));
                return true;
            });
        }
        static void add(declared::ClassParts& parts) {
            parts.attributes.push_back({kAttribute.text, get<kAttribute, Get>::read, write, nullptr, nullptr});
        }
    };

    // repr(): F gives the text.
    template <auto F>
    struct repr {
        static PyObject* call(PyObject* self) {
            return run_frame([&]() -> PyRef {
                VOREL_LET(value, receiver<T>(self));
                return to_python(std::invoke(F, *value));
            });
        }
        static void add(declared::ClassParts& parts) { parts.repr = call; }
    };

    // An enumeration: one instance per member of kMembers, created with the
    // class and set as its attribute debug_text(member); int() of an instance
    // is the member's position in kMembers.
    template <const auto& kMembers>
    struct members {
        static PyObject* position(PyObject* self) {
            return run_frame([&]() -> PyRef {
                VOREL_LET(member, receiver<T>(self));
                std::int64_t i = 0;
                for (T candidate : kMembers) {
                    if (candidate == *member) break;
                    ++i;
                }
                return from_i64(i);
            });
        }
        static bool attach(const PyRef& type) {
            for (T member : kMembers) {
                const std::string_view member_name = debug_text(member);  // a literal, so null-terminated
                if (!add_class_attribute(type, member_name.data(), make_instance(as_type(type), member))) return false;
            }
            return true;
        }
        static void add(declared::ClassParts& parts) {
            parts.to_int = position;
            parts.finish.push_back(attach);
        }
    };

    // Class attributes F sets once the class exists: F(type) -> false with an exception set.
    template <bool (*F)(const PyRef& type)>
    struct attributes {
        static void add(declared::ClassParts& parts) { parts.finish.push_back(F); }
    };

    // Pickling and copying (bindings/pickle.hpp).
    struct pickled {
        static void add(declared::ClassParts& parts) { parts.methods.push_back(kReduceMethod); }
    };

    // The class with the given members, created once per process by
    // VOREL_CLASS_OBJECT. Without a constructor member, calling the class
    // raises TypeError.
    template <class... Members>
    static PyRef create() {
        static declared::ClassParts parts = [] {
            declared::ClassParts collected;
            (Members::add(collected), ...);
            collected.close();
            return collected;
        }();
        PyRef type = create_class({Joined<"builtins.", kName>::c_str(), parts.doc, sizeof(Object<T>), dealloc<T>,
                                   parts.constructor, parts.repr, parts.to_int, parts.methods.data(),
                                   parts.attributes.data()});
        if (!type) return {};
        for (auto finish : parts.finish) {
            if (!finish(type)) return {};
        }
        return type;
    }
};

}  // namespace vorel::py
