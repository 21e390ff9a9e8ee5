#include "instruments/vanilla_option.hpp"

#include "core/period/day_count.hpp"

namespace vorel {

std::string_view debug_text(OptionType type) noexcept {
    return type == OptionType::Call ? "Call" : "Put";
}

std::string_view debug_text(ExerciseStyle style) noexcept {
    return style == ExerciseStyle::American ? "American" : "European";
}

double years_to_expiry(const VanillaOption& option, const Instant& from) {
    return year_fraction(from, option.expiry, DayCountConvention::actual_365_fixed());
}

}  // namespace vorel
