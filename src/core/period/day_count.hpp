#pragma once
// Day-count conventions, whole-day counts and year fractions.

#include <cstdint>
#include <string>

#include "core/period/date.hpp"
#include "core/period/instant.hpp"

namespace vorel {

enum class Thirty360Kind : std::uint8_t { UnitedStatesIsda, EurobondIsma, GermanIsda };
enum class ActActKind : std::uint8_t { Isda };

class DayCountConvention {
public:
    enum class Tag : std::uint8_t { Actual360, Actual365Fixed, ActualActual, Thirty360 };

    static DayCountConvention actual_360() noexcept { return DayCountConvention(Tag::Actual360, 0); }
    static DayCountConvention actual_365_fixed() noexcept { return DayCountConvention(Tag::Actual365Fixed, 0); }
    static DayCountConvention actual_actual(ActActKind kind) noexcept {
        return DayCountConvention(Tag::ActualActual, static_cast<std::uint8_t>(kind));
    }
    static DayCountConvention thirty_360(Thirty360Kind kind) noexcept {
        return DayCountConvention(Tag::Thirty360, static_cast<std::uint8_t>(kind));
    }

    Tag tag() const noexcept { return tag_; }
    Thirty360Kind thirty_360_kind() const noexcept { return static_cast<Thirty360Kind>(kind_); }

    // "Actual360", "ActualActual(ISDA)", "Thirty360(GermanIsda)".
    std::string debug_text() const;

    // Same variant and, for 30/360, the same kind.
    friend bool operator==(const DayCountConvention& a, const DayCountConvention& b) noexcept;

private:
    DayCountConvention(Tag tag, std::uint8_t kind) noexcept : tag_(tag), kind_(kind) {}

    Tag tag_;
    std::uint8_t kind_;
};

// Whole days from start to end under the convention (negative when end is earlier).
std::int64_t days_between(Date start, Date end, const DayCountConvention& convention);

// Years from start to end under the convention; end before start gives the
// negated fraction of the swapped pair.
double year_fraction(const Instant& start, const Instant& end, const DayCountConvention& convention);

}  // namespace vorel
