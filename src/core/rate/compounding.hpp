#pragma once

#include <cstdint>
#include <string>

#include "core/rate/frequency.hpp"

namespace vorel {

// How a quoted rate turns into a discount factor. Two bytes: the rule and, for
// the compounded rules, the periods per year.
class Compounding {
public:
    enum class Tag : std::uint8_t { Simple, Compounded, Continuous, SimpleThenCompounded };

    static constexpr Compounding simple() noexcept { return {Tag::Simple, Frequency::Annual}; }
    static constexpr Compounding continuous() noexcept { return {Tag::Continuous, Frequency::Annual}; }
    static constexpr Compounding compounded(Frequency f) noexcept { return {Tag::Compounded, f}; }
    static constexpr Compounding simple_then_compounded(Frequency f) noexcept {
        return {Tag::SimpleThenCompounded, f};
    }

    constexpr Tag tag() const noexcept { return tag_; }
    // Meaningful for Compounded and SimpleThenCompounded.
    constexpr Frequency frequency() const noexcept { return frequency_; }

    // "Simple", "Continuous", "Compounded(SemiAnnual)", "SimpleThenCompounded(Annual)".
    std::string debug_text() const;

private:
    constexpr Compounding(Tag tag, Frequency f) noexcept : tag_(tag), frequency_(f) {}
    Tag tag_;
    Frequency frequency_;
};

// Discount factor of `rate` over the year fraction t under the rule;
// SimpleThenCompounded is simple up to one period of its frequency (t·f ≤ 1)
// and compounded beyond.
double discount_factor(double rate, Compounding compounding, double t);

// The continuously compounded rate with the same discount factor over t,
// −ln(DF(t))/t, computed without the rounding of DF itself; `rate` as it is
// for t ≤ 0 (or NaN), where no discounting happens.
double continuous_rate(double rate, Compounding compounding, double t);

}  // namespace vorel
