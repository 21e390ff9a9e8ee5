#include "execution/pricing_policy.hpp"

#include <algorithm>
#include <cstddef>

namespace vorel {
namespace {

constexpr ExerciseStyle kStyles[] = {ExerciseStyle::American, ExerciseStyle::American, ExerciseStyle::European,
                                     ExerciseStyle::European};
constexpr OptionType kTypes[] = {OptionType::Put, OptionType::Call, OptionType::Put, OptionType::Call};

template <class T>
bool matches(const std::vector<T>& accepted, T value) {
    return accepted.empty() || std::find(accepted.begin(), accepted.end(), value) != accepted.end();
}

}  // namespace

std::optional<FdmConfig> fdm_settings(const PricingMethod& method) noexcept {
    if (const auto* fdm = std::get_if<pricing_method::Fdm>(&method)) return fdm->config;
    if (std::holds_alternative<pricing_method::FdmDefault>(method)) return FdmConfig{};
    return std::nullopt;
}

Config apply_policy(const Config& config, const InstrumentPolicy& policy) {
    Config result = config;
    for (std::size_t slot = 0; slot < result.methods.size(); ++slot) {
        if (matches(policy.exercise_styles, kStyles[slot]) && matches(policy.option_types, kTypes[slot])) {
            result.methods[slot] = policy.method;
        }
    }
    return result;
}

const PricingMethod& method_for(const Config& config, ExerciseStyle style, OptionType type) noexcept {
    const std::size_t slot = (style == ExerciseStyle::American ? 0 : 2) + (type == OptionType::Put ? 0 : 1);
    return config.methods[slot];
}

const Config& default_config() {
    static const Config kDefault =
        apply_policy(Config{}, InstrumentPolicy{pricing_method::FdmDefault{}, {ExerciseStyle::American}, {}});
    return kDefault;
}

}  // namespace vorel
