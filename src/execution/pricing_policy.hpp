#pragma once
// Which engine prices which kind of option. A policy names a method and the
// exercise styles and option types it covers; a configuration holds the method
// of each (exercise style, option type) pair and the solver setting.

#include <array>
#include <optional>
#include <variant>
#include <vector>

#include "execution/solver_setting.hpp"
#include "instruments/vanilla_option.hpp"
#include "methods/finite_difference/fdm_config.hpp"

namespace vorel {

namespace pricing_method {
struct Unset {};       // nothing chosen: priced like Analytic
struct Analytic {};    // the closed form
struct FdmDefault {};  // finite differences with FdmConfig{}
struct Fdm {           // finite differences with these settings
    FdmConfig config;
};
}  // namespace pricing_method

using PricingMethod =
    std::variant<pricing_method::Unset, pricing_method::Analytic, pricing_method::FdmDefault, pricing_method::Fdm>;

// The finite-difference settings a method selects; nullopt for the closed form.
std::optional<FdmConfig> fdm_settings(const PricingMethod& method) noexcept;

struct InstrumentPolicy {
    PricingMethod method;
    std::vector<ExerciseStyle> exercise_styles;  // empty matches every style
    std::vector<OptionType> option_types;        // empty matches every type
};

struct Config {
    SolverSetting solver;
    // (American, Put), (American, Call), (European, Put), (European, Call).
    std::array<PricingMethod, 4> methods;
};

// `config` with every slot the policy matches set to its method.
Config apply_policy(const Config& config, const InstrumentPolicy& policy);

const PricingMethod& method_for(const Config& config, ExerciseStyle style, OptionType type) noexcept;

// All slots unset, then American options of both types to finite differences
// with the default settings: European options go to the closed form. Built once.
const Config& default_config();

}  // namespace vorel
