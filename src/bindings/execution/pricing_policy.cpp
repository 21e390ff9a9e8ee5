// InstrumentPolicy, a rule built by chained calls, and Config, the method table
// the policies are applied to.

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

// A policy method without parameters: `change` under an exclusive borrow, then
// the policy itself.
template <class Change>
PyObject* change_policy(PyObject* self, Change change) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(policy, (receiver<InstrumentPolicy, Access::Exclusive>(self)));
        change(*policy);
        return PyRef::borrow(self);
    });
}

PyObject* construct_policy(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<0> signature{"InstrumentPolicy.__new__", {}};
        VOREL_CHECK(bind(signature, args, kwargs));
        return make_instance(type, InstrumentPolicy{});
    });
}

// A repeated style or type means nothing extra, so each is listed once and a
// policy chained in a loop keeps a bounded size.
template <class T>
void include(std::vector<T>& values, T value) {
    if (std::find(values.begin(), values.end(), value) == values.end()) values.push_back(value);
}

PyObject* american(PyObject* self, PyObject*) {
    return change_policy(self, [](InstrumentPolicy& p) { include(p.exercise_styles, ExerciseStyle::American); });
}
PyObject* european(PyObject* self, PyObject*) {
    return change_policy(self, [](InstrumentPolicy& p) { include(p.exercise_styles, ExerciseStyle::European); });
}
PyObject* put(PyObject* self, PyObject*) {
    return change_policy(self, [](InstrumentPolicy& p) { include(p.option_types, OptionType::Put); });
}
PyObject* call(PyObject* self, PyObject*) {
    return change_policy(self, [](InstrumentPolicy& p) { include(p.option_types, OptionType::Call); });
}
PyObject* analytic(PyObject* self, PyObject*) {
    return change_policy(self, [](InstrumentPolicy& p) { p.method = pricing_method::Analytic{}; });
}

std::optional<PricingMethod> to_fdm_method(PyObject* object) {
    VOREL_LET(config, extract<FdmConfig>(object));
    return PricingMethod(pricing_method::Fdm{config});
}

PyObject* fdm(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"InstrumentPolicy.fdm", {"fdm_config"}, 0};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(policy, (receiver<InstrumentPolicy, Access::Exclusive>(self)));
        VOREL_LET(method,
                  named("fdm_config", convert_or(bound[0], PricingMethod(pricing_method::FdmDefault{}), to_fdm_method)));
        policy->method = method;
        return PyRef::borrow(self);
    });
}

PyMethodDef g_policy_methods[] = {
    method("american", american, "american($self)\n--\n\n"),
    method("european", european, "european($self)\n--\n\n"),
    method("put", put, "put($self)\n--\n\n"),
    method("call", call, "call($self)\n--\n\n"),
    method("analytic", analytic, "analytic($self)\n--\n\n"),
    method("fdm", fdm, "fdm($self, fdm_config=None)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create_policy() {
    return create_class({"builtins.InstrumentPolicy", "InstrumentPolicy()\n--\n\n", sizeof(Object<InstrumentPolicy>),
                         dealloc<InstrumentPolicy>, construct_policy, nullptr, nullptr, g_policy_methods});
}

PyObject* construct_config(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<0> signature{"Config.__new__", {}};
        VOREL_CHECK(bind(signature, args, kwargs));
        return make_instance(type, SharedConfig{std::make_shared<const Config>(default_config())});
    });
}

PyObject* add_policy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"Config.add_policy", {"policy"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(config, (receiver<SharedConfig, Access::Exclusive>(self)));
        VOREL_LET(policy, named("policy", extract<InstrumentPolicy>(bound[0])));
        config->table = std::make_shared<const Config>(apply_policy(*config->table, policy));
        return PyRef::borrow(self);
    });
}

PyMethodDef g_config_methods[] = {
    method("add_policy", add_policy, "add_policy($self, policy)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create_config() {
    return create_class({"builtins.Config", "Config()\n--\n\n", sizeof(Object<SharedConfig>), dealloc<SharedConfig>,
                         construct_config, nullptr, nullptr, g_config_methods});
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
    VOREL_LET(kind, code_in(items[0], 3));
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
