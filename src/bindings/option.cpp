// OptionType, ExerciseStyle and VanillaOption(strike, expiry_time, option_type,
// exercise_style).

#include <string>

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/execution/builder.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

constexpr OptionType kOptionTypes[] = {OptionType::Call, OptionType::Put};
constexpr ExerciseStyle kExerciseStyles[] = {ExerciseStyle::American, ExerciseStyle::European};

// "<class>.<member>"
template <class T>
PyRef member_repr(PyObject* self, const char* class_name) {
    VOREL_LET(member, receiver<T>(self));
    return from_str(std::string(class_name) + "." + std::string(debug_text(*member)));
}

PyObject* option_type_repr(PyObject* self) {
    return run_frame([&] { return member_repr<OptionType>(self, "OptionType"); });
}

PyObject* exercise_style_repr(PyObject* self) {
    return run_frame([&] { return member_repr<ExerciseStyle>(self, "ExerciseStyle"); });
}

PyMethodDef g_member_methods[] = {kReduceMethod, kEndOfMethods};

PyRef create_option_type() {
    return Enumeration<OptionType, kOptionTypes>::create("builtins.OptionType", option_type_repr, g_member_methods);
}

PyRef create_exercise_style() {
    return Enumeration<ExerciseStyle, kExerciseStyles>::create("builtins.ExerciseStyle", exercise_style_repr, g_member_methods);
}

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<4> signature{"VanillaOption.__new__",
                                                {"strike", "expiry_time", "option_type", "exercise_style"}};
        VOREL_LET(bound, bind(signature, args, kwargs));
        VOREL_LET(strike, named("strike", to_f64(bound[0])));
        // Names its own type error; errors of utcoffset() and timestamp() stay as raised.
        VOREL_LET(expiry, instant_via_timestamp(bound[1], "expiry_time", sites::kExpiry));
        VOREL_LET(option_type, named("option_type", extract<OptionType>(bound[2])));
        VOREL_LET(exercise_style, named("exercise_style", extract<ExerciseStyle>(bound[3])));
        return make_instance(type, VanillaOption{strike, expiry, option_type, exercise_style});
    });
}

PyObject* years_to_expiry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"VanillaOption.years_to_expiry", {"valuation_date"}, 0};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(option, receiver<VanillaOption>(self));
        VOREL_LET(from, bound[0] == nullptr
                            ? std::optional<Instant>(now_utc())
                            : instant_via_timestamp(bound[0], "valuation_date", sites::kValuationDate));
        return from_f64(vorel::years_to_expiry(*option, from));
    });
}

// A new builder of type B for this option, with nothing else recorded.
template <class B>
PyObject* new_builder(PyObject* self) {
    return run_frame([&]() -> PyRef {
        VOREL_CHECK(receiver<VanillaOption>(self));
        return wrap(builder_for<B>(self));
    });
}

PyObject* valuation(PyObject* self, PyObject*) { return new_builder<ValuationBuilder>(self); }
PyObject* implied_vol(PyObject* self, PyObject*) { return new_builder<ImpliedVolBuilder>(self); }

PyObject* get_strike(PyObject* self, void*) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(option, receiver<VanillaOption>(self));
        return from_f64(option->strike);
    });
}

PyMethodDef g_methods[] = {
    method("years_to_expiry", years_to_expiry, "years_to_expiry($self, valuation_date=None)\n--\n\n"),
    method("valuation", valuation, "valuation($self)\n--\n\n"),
    method("implied_vol", implied_vol, "implied_vol($self)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyGetSetDef g_getset[] = {
    {"strike", get_strike, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyRef create_vanilla_option() {
    return create_class({"builtins.VanillaOption",
                         "VanillaOption(strike, expiry_time, option_type, exercise_style)\n--\n\n",
                         sizeof(Object<VanillaOption>), dealloc<VanillaOption>, construct, nullptr, nullptr,
                         g_methods, g_getset});
}

}  // namespace

VOREL_CLASS_OBJECT(OptionType, create_option_type)
VOREL_CLASS_OBJECT(ExerciseStyle, create_exercise_style)
VOREL_CLASS_OBJECT(VanillaOption, create_vanilla_option)

// (strike, expiry instant, option type, exercise style).
template <>
PyRef pickled_state<VanillaOption>(const VanillaOption& option) {
    return tuple_of(from_f64(option.strike), instant_state(option.expiry), wrap(option.option_type),
                    wrap(option.exercise_style));
}

template <>
PyRef unpickle<VanillaOption>(PyObject* state) {
    VOREL_LET(items, state_items<4>(state));
    VOREL_LET(strike, to_f64(items[0]));
    VOREL_LET(expiry, instant_from_state(items[1]));
    VOREL_LET(option_type, extract<OptionType>(items[2]));
    VOREL_LET(exercise_style, extract<ExerciseStyle>(items[3]));
    return wrap(VanillaOption{strike, expiry, option_type, exercise_style});
}

}  // namespace vorel::py
