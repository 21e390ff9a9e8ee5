#include "bindings/datetime.hpp"

#include <cstdint>

#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/globals.hpp"

namespace vorel::py {
namespace {

// isinstance(object, datetime.datetime) with the cast error for a wrong type.
bool check_datetime(PyObject* object) {
    const int is_datetime = PyObject_IsInstance(object, globals().datetime_type);
    if (is_datetime < 0) return false;
    if (is_datetime == 0) {
        raise_cast_error(object, "datetime");
        return false;
    }
    return true;
}

template <class Convert>
auto int_attribute(PyObject* object, PyObject* name, Convert convert) -> decltype(convert(object)) {
    PyRef value = PyRef::steal(PyObject_GetAttr(object, name));
    if (!value) return std::nullopt;
    return convert(value.get());
}

PyRef call_method(PyObject* object, PyObject* name) {
    return PyRef::steal(PyObject_CallMethodObjArgs(object, name, nullptr));
}

// False, with ValueError `naive_message`, when utcoffset() gives None.
bool check_aware(PyObject* object, const char* naive_message) {
    PyRef offset = call_method(object, globals().names.utcoffset);
    if (!offset) return false;
    if (offset.get() == Py_None) {
        raise(PyExc_ValueError, naive_message);
        return false;
    }
    return true;
}

}  // namespace

std::optional<Instant> instant_via_timestamp(PyObject* object, const char* argument, const TimestampSite& site) {
    if (!check_datetime(object)) {
        wrap_argument_error(argument);
        return std::nullopt;
    }
    if (!check_aware(object, site.naive_message)) return std::nullopt;
    PyRef timestamp = call_method(object, globals().names.timestamp);
    if (!timestamp) return std::nullopt;
    const std::optional<double> seconds = to_f64(timestamp.get());
    if (!seconds) return std::nullopt;
    std::optional<Instant> instant = instant_from_timestamp(*seconds, site.rounding);
    if (!instant) raise(PyExc_ValueError, site.invalid_message);
    return instant;
}

std::optional<Instant> instant_strict_utc(PyObject* object) {
    if (!check_datetime(object)) return std::nullopt;
    const InternedNames& names = globals().names;
    PyRef tzinfo = PyRef::steal(PyObject_GetAttr(object, names.tzinfo));
    if (!tzinfo) return std::nullopt;
    if (tzinfo.get() == Py_None) {
        raise(PyExc_TypeError, "expected a datetime with non-None tzinfo");
        return std::nullopt;
    }
    const int is_utc = PyObject_RichCompareBool(tzinfo.get(), globals().utc, Py_EQ);
    if (is_utc < 0) return std::nullopt;
    if (is_utc == 0) {
        raise(PyExc_ValueError, "expected datetime.timezone.utc");
        return std::nullopt;
    }

    VOREL_LET(year, int_attribute(object, names.year, to_i32));
    VOREL_LET(month, int_attribute(object, names.month, to_u32));
    VOREL_LET(day, int_attribute(object, names.day, to_u32));
    const std::optional<Date> date = Date::from_ymd(year, month, day);
    if (!date) {
        raise(PyExc_ValueError, "invalid or out-of-range date");
        return std::nullopt;
    }
    VOREL_LET(hour, int_attribute(object, names.hour, to_u32));
    VOREL_LET(minute, int_attribute(object, names.minute, to_u32));
    VOREL_LET(second, int_attribute(object, names.second, to_u32));
    VOREL_LET(microsecond, int_attribute(object, names.microsecond, to_u32));
    const std::uint64_t nanosecond = std::uint64_t{microsecond} * 1000;
    const bool valid_time = hour < 24 && minute < 60 && second < 60 &&
                            (nanosecond < 1'000'000'000 || (nanosecond < 2'000'000'000 && second == 59));
    if (!valid_time) {
        raise(PyExc_ValueError, "invalid or out-of-range time");
        return std::nullopt;
    }
    return Instant::from_parts(*date, hour * 3600 + minute * 60 + second, static_cast<std::uint32_t>(nanosecond));
}

std::optional<Instant> instant_converted_to_utc(PyObject* object, const char* not_datetime_message,
                                               const char* naive_message) {
    const int is_datetime = PyObject_IsInstance(object, globals().datetime_type);
    if (is_datetime < 0) return std::nullopt;
    if (is_datetime == 0) {
        raise(PyExc_TypeError, not_datetime_message);
        return std::nullopt;
    }
    if (!check_aware(object, naive_message)) return std::nullopt;
    PyRef in_utc = PyRef::steal(PyObject_CallMethodObjArgs(object, globals().names.astimezone, globals().utc, nullptr));
    if (!in_utc) return std::nullopt;
    return instant_strict_utc(in_utc.get());
}

std::optional<Date> calendar_date(PyObject* object) {
    const int is_date = PyObject_IsInstance(object, globals().date_type);
    if (is_date < 0) return std::nullopt;
    if (is_date == 0) {
        raise_cast_error(object, "date");
        return std::nullopt;
    }
    const InternedNames& names = globals().names;
    VOREL_LET(year, int_attribute(object, names.year, to_i32));
    VOREL_LET(month, int_attribute(object, names.month, to_u32));
    VOREL_LET(day, int_attribute(object, names.day, to_u32));
    std::optional<Date> date = Date::from_ymd(year, month, day);
    if (!date) raise(PyExc_ValueError, "invalid or out-of-range date");
    return date;
}

PyRef make_date(Date date) {
    const YearMonthDay ymd = date.ymd();
    return PyRef::steal(PyObject_CallFunction(globals().date_type, "iII", static_cast<int>(ymd.year),
                                              static_cast<unsigned>(ymd.month), static_cast<unsigned>(ymd.day)));
}

}  // namespace vorel::py
