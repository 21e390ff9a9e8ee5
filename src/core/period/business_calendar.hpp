#pragma once
// Calendars for the business/252 day count.

#include <string>
#include <string_view>

#include "core/period/date.hpp"

namespace vorel {

class BusinessDayCalendar {
public:
    virtual ~BusinessDayCalendar() = default;
    virtual std::string debug_text() const = 0;
    // Identifies the calendar; two business/252 conventions are equal when their
    // calendars' names are.
    virtual std::string_view name() const = 0;
    virtual bool is_business_day(Date date) const = 0;
};

// Monday to Friday are business days; there are no holidays.
class WeekendsOnlyCalendar final : public BusinessDayCalendar {
public:
    std::string debug_text() const override { return "WeekendsOnly"; }
    std::string_view name() const override { return "WeekendsOnly"; }
    bool is_business_day(Date date) const override;
};

}  // namespace vorel
