#include "core/period/business_calendar.hpp"

namespace vorel {

bool WeekendsOnlyCalendar::is_business_day(Date date) const {
    // 1970-01-01 was a Thursday; shift so that Monday is 0.
    std::int64_t weekday = (date.days_since_epoch() + 3) % 7;
    if (weekday < 0) weekday += 7;
    return weekday < 5;
}

}  // namespace vorel
