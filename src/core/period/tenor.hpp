#pragma once
// Signed calendar lengths laid onto dates.

#include <cstdint>

#include "core/error.hpp"
#include "core/period/date.hpp"

namespace vorel {

enum class TenorUnit : std::uint8_t { Days, Weeks, Months, Years };

struct Tenor {
    TenorUnit unit = TenorUnit::Days;
    std::int32_t count = 0;
};

// Days and weeks move by whole days. Months and years move the month index and
// clamp the day once, to the length of the final month (31 January + 1 month is
// the last day of February; 31 March - 1 month likewise). OutOfRange when
// the result leaves the date range.
Result<Date> advance(Date from, const Tenor& tenor);

}  // namespace vorel
