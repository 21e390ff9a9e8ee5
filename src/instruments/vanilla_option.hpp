#pragma once
// The one instrument the library prices: a vanilla call or put with European or
// American exercise, a strike and an expiry instant.

#include <cstdint>
#include <string_view>

#include "core/period/instant.hpp"

namespace vorel {

enum class OptionType : std::uint8_t { Call = 0, Put = 1 };
enum class ExerciseStyle : std::uint8_t { American = 0, European = 1 };

// "Call", "Put"; "American", "European".
std::string_view debug_text(OptionType type) noexcept;
std::string_view debug_text(ExerciseStyle style) noexcept;

struct VanillaOption {
    double strike = 0.0;  // any value; not validated
    Instant expiry;
    OptionType option_type = OptionType::Call;
    ExerciseStyle exercise_style = ExerciseStyle::European;
};

// Years from `from` to the expiry under Actual/365 Fixed: whole seconds (the
// duration truncated toward zero) over 31,536,000. Negative after expiry.
double years_to_expiry(const VanillaOption& option, const Instant& from);

}  // namespace vorel
