// InstrumentPolicy, a rule built by chained calls, and Config, the method table
// the policies are applied to.

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

// A repeated style or type means nothing extra, so each is listed once and a
// policy chained in a loop keeps a bounded size.
template <class T>
void include(std::vector<T>& values, T value) {
    if (std::find(values.begin(), values.end(), value) == values.end()) values.push_back(value);
}

template <ExerciseStyle kStyle>
void add_style(InstrumentPolicy& policy) {
    include(policy.exercise_styles, kStyle);
}
template <OptionType kType>
void add_type(InstrumentPolicy& policy) {
    include(policy.option_types, kType);
}

void analytic(InstrumentPolicy& policy) { policy.method = pricing_method::Analytic{}; }

// fdm(fdm_config=None): these settings, or absent for the engine's defaults.
void fdm(InstrumentPolicy& policy, std::optional<FdmConfig> config) {
    policy.method = config ? PricingMethod(pricing_method::Fdm{*config}) : PricingMethod(pricing_method::FdmDefault{});
}

using PolicyClass = Class<InstrumentPolicy, "InstrumentPolicy">;

PyRef create_policy() {
    return PolicyClass::create<PolicyClass::constructor<[] { return InstrumentPolicy{}; }>,
                               PolicyClass::method<"american", add_style<ExerciseStyle::American>>,
                               PolicyClass::method<"european", add_style<ExerciseStyle::European>>,
                               PolicyClass::method<"put", add_type<OptionType::Put>>,
                               PolicyClass::method<"call", add_type<OptionType::Call>>,
                               PolicyClass::method<"analytic", analytic>,
                               PolicyClass::method<"fdm", fdm, "fdm_config">, PolicyClass::pickled>();
}

SharedConfig new_config() { return SharedConfig{std::make_shared<const Config>(default_config())}; }

void add_policy(SharedConfig& config, const InstrumentPolicy& policy) {
    config.table = std::make_shared<const Config>(apply_policy(*config.table, policy));
}

using ConfigClass = Class<SharedConfig, "Config">;

PyRef create_config() {
    return ConfigClass::create<ConfigClass::constructor<new_config>,
                               ConfigClass::method<"add_policy", add_policy, "policy">, ConfigClass::pickled>();
}

std::optional<PricingMethod> to_fdm_method(PyObject* object) {
    VOREL_LET(config, extract<FdmConfig>(object));
    return PricingMethod(pricing_method::Fdm{config});
}

// A method as (index of its kind, FdmConfig or None).
PyRef method_state(const PricingMethod& method) {
    const auto* fdm = std::get_if<pricing_method::Fdm>(&method);
    return tuple_of(from_i64(static_cast<std::int64_t>(method.index())),
                    fdm ? wrap(fdm->config) : PyRef::borrow(Py_None));
}

std::optional<PricingMethod> method_from_state(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(kind, code_in(items[0], std::variant_size_v<PricingMethod>));
    switch (kind) {
        case 0:
            return PricingMethod(pricing_method::Unset{});
        case 1:
            return PricingMethod(pricing_method::Analytic{});
        case 2:
            return PricingMethod(pricing_method::FdmDefault{});
        default:
            return to_fdm_method(items[1]);
    }
}

// Each member once, as the chained calls record them.
template <class T>
std::optional<std::vector<T>> members_from_state(PyObject* state) {
    VOREL_LET(listed, to_vector(state, extract<T>));
    std::vector<T> members;
    for (T member : listed) include(members, member);
    return members;
}

}  // namespace

VOREL_CLASS_OBJECT(InstrumentPolicy, create_policy)
VOREL_CLASS_OBJECT(SharedConfig, create_config)

// (method, exercise styles, option types).
template <>
PyRef pickled_state<InstrumentPolicy>(const InstrumentPolicy& policy) {
    return tuple_of(method_state(policy.method), tuple_from(policy.exercise_styles, kWrapped),
                    tuple_from(policy.option_types, kWrapped));
}

template <>
PyRef unpickle<InstrumentPolicy>(PyObject* state) {
    VOREL_LET(items, state_items<3>(state));
    VOREL_LET(method, method_from_state(items[0]));
    VOREL_LET(styles, members_from_state<ExerciseStyle>(items[1]));
    VOREL_LET(types, members_from_state<OptionType>(items[2]));
    return wrap(InstrumentPolicy{std::move(method), std::move(styles), std::move(types)});
}

// (solver kind, tolerance, rounds, then the method of each slot in table order).
template <>
PyRef pickled_state<SharedConfig>(const SharedConfig& config) {
    const Config& table = *config.table;
    return tuple_of(from_i64(static_cast<std::uint8_t>(table.solver.kind)), from_f64(table.solver.tolerance),
                    from_u64(table.solver.max_iterations), method_state(table.methods[0]),
                    method_state(table.methods[1]), method_state(table.methods[2]), method_state(table.methods[3]));
}

template <>
PyRef unpickle<SharedConfig>(PyObject* state) {
    VOREL_LET(items, state_items<7>(state));
    VOREL_LET(kind, code_in(items[0], 2));
    VOREL_LET(tolerance, to_f64(items[1]));
    VOREL_LET(max_iterations, to_u64(items[2]));
    Config table{SolverSetting{static_cast<SolverSetting::Kind>(kind), tolerance, max_iterations}, {}};
    for (std::size_t i = 0; i < table.methods.size(); ++i) {
        VOREL_LET(method, method_from_state(items[3 + i]));
        table.methods[i] = std::move(method);
    }
    return wrap(SharedConfig{std::make_shared<const Config>(std::move(table))});
}

}  // namespace vorel::py
