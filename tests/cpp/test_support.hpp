#pragma once
// Shared helpers for the core tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>

#include "core/panic.hpp"
#include "core/period/date.hpp"
#include "core/period/instant.hpp"

namespace vorel {

// Readable failure output instead of byte dumps.
inline void PrintTo(const Date& d, std::ostream* os) {
    const YearMonthDay ymd = d.ymd();
    *os << ymd.year << '-' << ymd.month << '-' << ymd.day;
}
inline void PrintTo(const Instant& i, std::ostream* os) {
    PrintTo(i.date, os);
    *os << " +" << i.second_of_day << "s " << i.nanosecond << "ns";
}

}  // namespace vorel

namespace vorel::test {

inline Date date(std::int64_t y, std::int64_t m, std::int64_t d) {
    const auto result = Date::from_ymd(y, m, d);
    if (!result) throw std::invalid_argument("bad test date");
    return *result;
}

inline Instant at(std::int64_t y, std::int64_t m, std::int64_t d, unsigned h = 0, unsigned mi = 0,
                  unsigned s = 0, std::uint32_t ns = 0) {
    return Instant{date(y, m, d), h * 3600 + mi * 60 + s, ns};
}

// Runs `f` and returns the text of the Panic it throws ("" when it does not).
template <class F>
std::string panic_text(F&& f) {
    try {
        f();
    } catch (const Panic& p) {
        return p.message;
    }
    return "";
}

}  // namespace vorel::test
