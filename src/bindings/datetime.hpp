#pragma once
// Python date and datetime arguments. An instance of exactly `date` or
// `datetime` (classes nothing can redefine) is read through the classes' own
// field descriptors, and a `datetime` in a `timezone` zone is converted without
// calling its methods, with the results they would give. A subclass, or a zone
// of any other kind, is asked through its methods.

#include <optional>

#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"
#include "core/period/date.hpp"
#include "core/period/instant.hpp"

namespace vorel::py {

// The messages and rounding of one call site of the timestamp conversion.
struct TimestampSite {
    TimestampRounding rounding;
    const char* naive_message;
    const char* invalid_message;
};

namespace sites {
inline constexpr TimestampSite kExpiry{TimestampRounding::TowardZero,
                                       "Expiry must have a timezone specified (e.g. New York or UTC)",
                                       "Invalid timestamp"};
inline constexpr TimestampSite kValuationDate{
    TimestampRounding::Nearest, "valuation_date must be timezone-aware (e.g., UTC or New York time)",
    "Invalid valuation_date timestamp"};
inline constexpr TimestampSite kEvaluationTime{
    TimestampRounding::Nearest, "Evaluation time must have a timezone specified (e.g. New York or UTC)",
    "Invalid timestamp"};
}  // namespace sites

// A `datetime` of any zone through its POSIX timestamp. A non-datetime is a
// cast error wrapped with `argument`; exceptions of utcoffset() and timestamp()
// pass through unchanged.
std::optional<Instant> instant_via_timestamp(PyObject* object, const char* argument, const TimestampSite& site);

// A `datetime` whose tzinfo equals timezone.utc, read field by field. Errors
// are raw; callers converting a named argument wrap them.
std::optional<Instant> instant_strict_utc(PyObject* object);

// An aware `datetime` of any zone converted with astimezone(timezone.utc), then
// read as above; exact to the microsecond. Anything but a `datetime` raises
// TypeError `not_datetime_message`, a naive one ValueError `naive_message`;
// exceptions of utcoffset() and astimezone() pass through unchanged.
std::optional<Instant> instant_converted_to_utc(PyObject* object, const char* not_datetime_message,
                                               const char* naive_message);

// A `date` (or `datetime`, its own fields as they stand) as a calendar date.
std::optional<Date> calendar_date(PyObject* object);

// datetime.date(year, month, day); the constructor's own error on failure.
PyRef make_date(Date date);

}  // namespace vorel::py
