#include "core/period/day_count.hpp"

#include "core/panic.hpp"

namespace vorel {
namespace {

constexpr double kSecondsPerDay = 86'400.0;

const char* thirty_360_name(Thirty360Kind kind) noexcept {
    switch (kind) {
        case Thirty360Kind::UnitedStatesIsda: return "UnitedStatesIsda";
        case Thirty360Kind::EurobondIsma: return "EurobondIsma";
        case Thirty360Kind::GermanIsda: return "GermanIsda";
    }
    return "UnitedStatesIsda";
}

bool is_last_of_february(const YearMonthDay& d) noexcept {
    return d.month == 2 && d.day == days_in_month(d.year, 2);
}

std::int64_t thirty_360_days(Date start, Date end, Thirty360Kind kind) noexcept {
    const YearMonthDay a = start.ymd();
    const YearMonthDay b = end.ymd();
    std::int64_t d1 = a.day;
    std::int64_t d2 = b.day;
    switch (kind) {
        case Thirty360Kind::UnitedStatesIsda:
            if (d1 == 31) d1 = 30;
            if (d2 == 31 && d1 == 30) d2 = 30;
            break;
        case Thirty360Kind::EurobondIsma:
            if (d1 == 31) d1 = 30;
            if (d2 == 31) d2 = 30;
            break;
        case Thirty360Kind::GermanIsda:
            if (d1 == 31 || is_last_of_february(a)) d1 = 30;
            if (d2 == 31 || is_last_of_february(b)) d2 = 30;
            break;
    }
    return (static_cast<std::int64_t>(b.year) - a.year) * 360 +
           (static_cast<std::int64_t>(b.month) - a.month) * 30 + (d2 - d1);
}

double days_in_year(std::int32_t year) noexcept { return is_leap_year(year) ? 366.0 : 365.0; }

// Whole intermediate years contribute (days in year) / (days in year) = 1.0
// each; summing them one at a time keeps the rounding of the stated rule.
double actual_actual_isda(const Instant& start, const Instant& end) {
    const std::int32_t end_year = end.date.year();
    Date c = start.date;
    std::int32_t year = c.year();
    double acc = 0.0;
    while (year < end_year) {
        const auto next_year = Date::from_ymd(static_cast<std::int64_t>(year) + 1, 1, 1);
        if (!next_year) panic("Date overflow");
        acc += static_cast<double>(next_year->days_since_epoch() - c.days_since_epoch()) / days_in_year(year);
        c = *next_year;
        ++year;
    }
    const Instant midnight{c, 0, 0};
    acc += static_cast<double>(whole_seconds_between(midnight, end)) / (days_in_year(year) * kSecondsPerDay);
    return acc;
}

}  // namespace

std::string DayCountConvention::debug_text() const {
    switch (tag_) {
        case Tag::Actual360: return "Actual360";
        case Tag::Actual365Fixed: return "Actual365Fixed";
        case Tag::ActualActual: return "ActualActual(ISDA)";
        case Tag::Thirty360: return std::string("Thirty360(") + thirty_360_name(thirty_360_kind()) + ")";
    }
    return {};
}

bool operator==(const DayCountConvention& a, const DayCountConvention& b) noexcept {
    return a.tag_ == b.tag_ && a.kind_ == b.kind_;
}

std::int64_t days_between(Date start, Date end, const DayCountConvention& convention) {
    switch (convention.tag()) {
        case DayCountConvention::Tag::Actual360:
        case DayCountConvention::Tag::Actual365Fixed:
        case DayCountConvention::Tag::ActualActual:
            return end.days_since_epoch() - start.days_since_epoch();
        case DayCountConvention::Tag::Thirty360:
            return thirty_360_days(start, end, convention.thirty_360_kind());
    }
    return 0;
}

double year_fraction(const Instant& start, const Instant& end, const DayCountConvention& convention) {
    if (start == end) return 0.0;
    if (end < start) return -year_fraction(end, start, convention);
    switch (convention.tag()) {
        case DayCountConvention::Tag::Actual360:
            return static_cast<double>(whole_seconds_between(start, end)) / (360.0 * kSecondsPerDay);
        case DayCountConvention::Tag::Actual365Fixed:
            return static_cast<double>(whole_seconds_between(start, end)) / (365.0 * kSecondsPerDay);
        case DayCountConvention::Tag::ActualActual:
            return actual_actual_isda(start, end);
        case DayCountConvention::Tag::Thirty360:
            return static_cast<double>(days_between(start.date, end.date, convention)) / 360.0;
    }
    return 0.0;
}

}  // namespace vorel
