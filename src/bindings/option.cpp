// OptionType, ExerciseStyle and VanillaOption(strike, expiry_time, option_type,
// exercise_style).

#include <string>

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/declare.hpp"
#include "bindings/execution/builder.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

constexpr OptionType kOptionTypes[] = {OptionType::Call, OptionType::Put};
constexpr ExerciseStyle kExerciseStyles[] = {ExerciseStyle::American, ExerciseStyle::European};

// "<class>.<member>"
template <class T, Name kClass>
std::string member_repr(T member) {
    return std::string(kClass.text) + "." + std::string(debug_text(member));
}

using OptionTypeClass = Class<OptionType, "OptionType">;
using ExerciseStyleClass = Class<ExerciseStyle, "ExerciseStyle">;

PyRef create_option_type() {
    return OptionTypeClass::create<OptionTypeClass::members<kOptionTypes>,
                                   OptionTypeClass::repr<member_repr<OptionType, "OptionType">>,
                                   OptionTypeClass::pickled>();
}

PyRef create_exercise_style() {
    return ExerciseStyleClass::create<ExerciseStyleClass::members<kExerciseStyles>,
                                      ExerciseStyleClass::repr<member_repr<ExerciseStyle, "ExerciseStyle">>,
                                      ExerciseStyleClass::pickled>();
}

VanillaOption make(double strike, AwareTime<sites::kExpiry> expiry, OptionType option_type,
                   ExerciseStyle exercise_style) {
    return VanillaOption{strike, expiry.instant, option_type, exercise_style};
}

// Years from `valuation_date` (absent: now) to expiry.
double years_to_expiry(const VanillaOption& option, std::optional<AwareTime<sites::kValuationDate>> valuation_date) {
    return vorel::years_to_expiry(option, valuation_date ? valuation_date->instant : now_utc());
}

// A new builder of type B for this option, with nothing else recorded.
template <class B>
B new_builder(Self<VanillaOption> option) {
    return builder_for<B>(option.object);
}

using OptionClass = Class<VanillaOption, "VanillaOption">;

PyRef create_vanilla_option() {
    return OptionClass::create<
        OptionClass::constructor<make, "strike", "expiry_time", "option_type", "exercise_style">,
        OptionClass::method<"years_to_expiry", years_to_expiry, "valuation_date">,
        OptionClass::method<"valuation", new_builder<ValuationBuilder>>,
        OptionClass::method<"implied_vol", new_builder<ImpliedVolBuilder>>,
        OptionClass::get<"strike", &VanillaOption::strike>, OptionClass::pickled>();
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
