// Compounding: built only by its static methods.

#include <string>

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

PyObject* simple(PyObject*, PyObject*) {
    return run_frame([] { return wrap(Compounding::simple()); });
}

PyObject* continuous(PyObject*, PyObject*) {
    return run_frame([] { return wrap(Compounding::continuous()); });
}

constinit const Signature<1> kCompounded{"Compounding.compounded", {"freq"}};
constinit const Signature<1> kSimpleThenCompounded{"Compounding.simple_then_compounded", {"freq"}};

// compounded(freq) and simple_then_compounded(freq).
template <Compounding (*Make)(Frequency)>
PyObject* with_frequency(const Signature<1>& signature, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(frequency, named("freq", extract<Frequency>(bound[0])));
        return wrap(Make(frequency));
    });
}

PyObject* compounded(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_frequency<Compounding::compounded>(kCompounded, args, nargs, kwnames);
}

PyObject* simple_then_compounded(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_frequency<Compounding::simple_then_compounded>(kSimpleThenCompounded, args, nargs, kwnames);
}

PyObject* repr(PyObject* self) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(compounding, receiver<Compounding>(self));
        return from_str("Compounding." + compounding->debug_text());
    });
}

PyMethodDef g_methods[] = {
    static_method("simple", simple, "simple()\n--\n\n"),
    static_method("continuous", continuous, "continuous()\n--\n\n"),
    static_method("compounded", compounded, "compounded(freq)\n--\n\n"),
    static_method("simple_then_compounded", simple_then_compounded, "simple_then_compounded(freq)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.Compounding", "", sizeof(Object<Compounding>), dealloc<Compounding>, nullptr,
                         repr, nullptr, g_methods});
}

}  // namespace

VOREL_CLASS_OBJECT(Compounding, create)

// (rule, frequency): the rule's code and a Frequency, read only by the compounded rules.
template <>
PyRef pickled_state<Compounding>(const Compounding& compounding) {
    return tuple_of(from_i64(static_cast<std::uint8_t>(compounding.tag())), wrap(compounding.frequency()));
}

template <>
PyRef unpickle<Compounding>(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(tag, code_in(items[0], 4));
    VOREL_LET(frequency, extract<Frequency>(items[1]));
    switch (static_cast<Compounding::Tag>(tag)) {
        case Compounding::Tag::Simple:
            return wrap(Compounding::simple());
        case Compounding::Tag::Compounded:
            return wrap(Compounding::compounded(frequency));
        case Compounding::Tag::Continuous:
            return wrap(Compounding::continuous());
        case Compounding::Tag::SimpleThenCompounded:
            return wrap(Compounding::simple_then_compounded(frequency));
    }
    return {};
}

}  // namespace vorel::py
