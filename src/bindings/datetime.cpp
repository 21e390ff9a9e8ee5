#include "bindings/datetime.hpp"

#include <cstdint>

#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/globals.hpp"

namespace vorel::py {
namespace {

PyTypeObject* as_type_object(PyObject* type) { return reinterpret_cast<PyTypeObject*>(type); }

// isinstance(object, type). An instance of exactly `type` answers yes without a
// call, as isinstance() itself does first.
int is_instance(PyObject* object, PyObject* type) {
    if (Py_TYPE(object) == as_type_object(type)) return 1;
    return PyObject_IsInstance(object, type);
}

// isinstance(object, datetime.datetime) with the cast error for a wrong type.
bool check_datetime(PyObject* object) {
    const int is_datetime = is_instance(object, globals().datetime_type);
    if (is_datetime < 0) return false;
    if (is_datetime == 0) {
        raise_cast_error(object, "datetime");
        return false;
    }
    return true;
}

// Whether the fields of `object` are read through the class's descriptors:
// it is exactly a `datetime`, whose attributes no subclass can redefine.
bool is_plain_datetime(PyObject* object) {
    const Globals& g = globals();
    return g.direct_fields && Py_TYPE(object) == as_type_object(g.datetime_type);
}

// Attribute `name` of `object`: through `field` when `direct`, else looked up by name.
PyRef attribute(PyObject* object, PyObject* name, const Field& field, bool direct) {
    return PyRef::steal(direct ? field.read(object) : PyObject_GetAttr(object, name));
}

// Integer attribute `name` of `object`, converted by `convert`, into `out`;
// false with an exception set. (A bool result rather than an optional one: these
// calls need not be inlined to be cheap.)
template <class T, class Convert>
bool int_attribute(PyObject* object, PyObject* name, const Field& field, bool direct, Convert convert, T& out) {
    PyRef value = attribute(object, name, field, direct);
    if (!value) return false;
    const std::optional<T> converted = convert(value.get());
    if (!converted) return false;
    out = *converted;
    return true;
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

// The tzinfo of an exactly-`datetime` object when it is exactly a `timezone`: a
// fixed offset, so the object is aware, and its utcoffset() (here or inside
// astimezone()) runs no Python code and cannot fail. A null PyRef when the
// object or its zone is anything else; `failed` tells a failed read apart.
PyRef fixed_zone(PyObject* object, bool& failed) {
    failed = false;
    const Globals& g = globals();
    if (!g.builtin_timezone || !is_plain_datetime(object)) return {};
    PyRef zone = PyRef::steal(g.datetime_fields.tzinfo.read(object));
    if (!zone) {
        failed = true;
        return {};
    }
    if (Py_TYPE(zone.get()) != as_type_object(g.timezone_type)) return {};
    return zone;
}

// The fields of a `datetime` whose tzinfo was found equal to timezone.utc.
std::optional<Instant> utc_fields(PyObject* object, bool direct) {
    const InternedNames& names = globals().names;
    const DateTimeFields& fields = globals().datetime_fields;
    std::int32_t year = 0;
    std::uint32_t month = 0, day = 0, hour = 0, minute = 0, second = 0, microsecond = 0;
    if (!int_attribute(object, names.year, fields.year, direct, to_i32, year) ||
        !int_attribute(object, names.month, fields.month, direct, to_u32, month) ||
        !int_attribute(object, names.day, fields.day, direct, to_u32, day)) {
        return std::nullopt;
    }
    const std::optional<Date> date = Date::from_ymd(year, month, day);
    if (!date) {
        raise(PyExc_ValueError, "invalid or out-of-range date");
        return std::nullopt;
    }
    if (!int_attribute(object, names.hour, fields.hour, direct, to_u32, hour) ||
        !int_attribute(object, names.minute, fields.minute, direct, to_u32, minute) ||
        !int_attribute(object, names.second, fields.second, direct, to_u32, second) ||
        !int_attribute(object, names.microsecond, fields.microsecond, direct, to_u32, microsecond)) {
        return std::nullopt;
    }
    const std::uint64_t nanosecond = std::uint64_t{microsecond} * 1000;
    const bool valid_time = hour < 24 && minute < 60 && second < 60 &&
                            (nanosecond < 1'000'000'000 || (nanosecond < 2'000'000'000 && second == 59));
    if (!valid_time) {
        raise(PyExc_ValueError, "invalid or out-of-range time");
        return std::nullopt;
    }
    return Instant::from_parts(*date, hour * 3600 + minute * 60 + second, static_cast<std::uint32_t>(nanosecond));
}

// timestamp() of a `datetime` in timezone.utc, given its fields: microseconds
// since the epoch over 10**6. While the microseconds are below 2**53 in
// magnitude both numbers are exact doubles, and the interpreter's quotient is
// their one correctly rounded division, as here; nullopt beyond, for
// timestamp() itself to answer.
std::optional<double> utc_timestamp(const Instant& instant) {
    constexpr std::int64_t kExactLimit = std::int64_t{1} << 53;
    const std::int64_t seconds = instant.date.days_since_epoch() * 86'400 + instant.second_of_day;
    const std::int64_t microseconds = seconds * 1'000'000 + instant.nanosecond / 1'000;
    if (microseconds <= -kExactLimit || microseconds >= kExactLimit) return std::nullopt;
    return static_cast<double>(microseconds) / 1e6;
}

}  // namespace

std::optional<Instant> instant_via_timestamp(PyObject* object, const char* argument, const TimestampSite& site) {
    if (!check_datetime(object)) {
        wrap_argument_error(argument);
        return std::nullopt;
    }
    bool failed = false;
    const PyRef zone = fixed_zone(object, failed);
    if (failed) return std::nullopt;
    std::optional<double> seconds;
    if (zone.get() == globals().utc) {
        VOREL_LET(instant, utc_fields(object, true));
        seconds = utc_timestamp(instant);
    }
    if (!seconds) {
        if (!zone && !check_aware(object, site.naive_message)) return std::nullopt;
        PyRef timestamp = call_method(object, globals().names.timestamp);
        if (!timestamp) return std::nullopt;
        seconds = to_f64(timestamp.get());
        if (!seconds) return std::nullopt;
    }
    std::optional<Instant> instant = instant_from_timestamp(*seconds, site.rounding);
    if (!instant) raise(PyExc_ValueError, site.invalid_message);
    return instant;
}

std::optional<Instant> instant_strict_utc(PyObject* object) {
    if (!check_datetime(object)) return std::nullopt;
    const bool direct = is_plain_datetime(object);
    PyRef tzinfo = attribute(object, globals().names.tzinfo, globals().datetime_fields.tzinfo, direct);
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
    return utc_fields(object, direct);
}

std::optional<Instant> instant_converted_to_utc(PyObject* object, const char* not_datetime_message,
                                               const char* naive_message) {
    const int is_datetime = is_instance(object, globals().datetime_type);
    if (is_datetime < 0) return std::nullopt;
    if (is_datetime == 0) {
        raise(PyExc_TypeError, not_datetime_message);
        return std::nullopt;
    }
    bool failed = false;
    const PyRef zone = fixed_zone(object, failed);
    if (failed) return std::nullopt;
    // astimezone(timezone.utc) of a datetime already in timezone.utc is the
    // datetime itself.
    if (zone.get() == globals().utc) return utc_fields(object, true);
    if (!zone && !check_aware(object, naive_message)) return std::nullopt;
    PyRef in_utc = PyRef::steal(PyObject_CallMethodObjArgs(object, globals().names.astimezone, globals().utc, nullptr));
    if (!in_utc) return std::nullopt;
    return instant_strict_utc(in_utc.get());
}

std::optional<Date> calendar_date(PyObject* object) {
    const Globals& g = globals();
    const int is_date = is_instance(object, g.date_type);
    if (is_date < 0) return std::nullopt;
    if (is_date == 0) {
        raise_cast_error(object, "date");
        return std::nullopt;
    }
    // An exact `date` or `datetime` is read through its class's descriptors.
    const bool plain_date = g.direct_fields && Py_TYPE(object) == as_type_object(g.date_type);
    const bool direct = plain_date || is_plain_datetime(object);
    const Field& year_field = plain_date ? g.date_fields.year : g.datetime_fields.year;
    const Field& month_field = plain_date ? g.date_fields.month : g.datetime_fields.month;
    const Field& day_field = plain_date ? g.date_fields.day : g.datetime_fields.day;
    std::int32_t year = 0;
    std::uint32_t month = 0, day = 0;
    if (!int_attribute(object, g.names.year, year_field, direct, to_i32, year) ||
        !int_attribute(object, g.names.month, month_field, direct, to_u32, month) ||
        !int_attribute(object, g.names.day, day_field, direct, to_u32, day)) {
        return std::nullopt;
    }
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
