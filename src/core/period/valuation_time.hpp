#pragma once
// A point in time handed to the pricing engines and stored for dividend
// ex-dates: a calendar date (taken at 00:00 UTC) or an exact instant.

#include <cstdint>

#include "core/period/date.hpp"
#include "core/period/instant.hpp"

namespace vorel {

struct ValuationTime {
    enum class Tag : std::uint8_t { Date = 0, Instant = 1 };

    Tag tag = Tag::Instant;
    vorel::Date date;        // used when tag is Date
    vorel::Instant instant;  // used when tag is Instant

    static ValuationTime at_date(vorel::Date d) noexcept { return {Tag::Date, d, {}}; }
    static ValuationTime at_instant(const vorel::Instant& i) noexcept { return {Tag::Instant, {}, i}; }

    // The instant meant; panics "not yet implemented" for a tag it does not know.
    vorel::Instant to_instant() const;
};

}  // namespace vorel
