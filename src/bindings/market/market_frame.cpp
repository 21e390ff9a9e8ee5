// OptionMarketFrame: spot, curves, surface and dividends of one underlying.
// Reads hand out fresh objects holding copies; writes replace one field of the
// shared record copy-on-write.

#include <optional>
#include <utility>

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

std::optional<std::optional<RateCurve>> extract_borrow_curve(PyObject* object) {
    if (object == Py_None) return std::optional<RateCurve>();
    VOREL_LET(curve, extract<RateCurve>(object));
    return std::optional<RateCurve>(std::move(curve));
}

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<5> signature{
            "OptionMarketFrame.__new__", {"spot", "rate_curve", "vol_surface", "dividends", "borrow_curve"}, 3};
        VOREL_LET(bound, bind(signature, args, kwargs));
        VOREL_LET(spot, named("spot", to_f64(bound[0])));
        VOREL_LET(rate_curve, named("rate_curve", extract<RateCurve>(bound[1])));
        VOREL_LET(vol_surface, named("vol_surface", extract<VolSurface>(bound[2])));
        VOREL_LET(dividends, named("dividends", convert_or(bound[3], DividendSchedule(), extract<DividendSchedule>)));
        VOREL_LET(borrow_curve,
                  named("borrow_curve", convert_or(bound[4], MarketFrameData::default_borrow_curve(), extract<RateCurve>)));
        return make_instance(type, MarketFrame(MarketFrameData{spot, std::move(rate_curve), std::move(vol_surface),
                                                               std::move(dividends), std::move(borrow_curve)}));
    });
}

// A getter building a fresh Python value from the current record.
template <class Read>
PyObject* get(PyObject* self, Read read) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(frame, receiver<MarketFrame>(self));
        return read(frame->data());
    });
}

// A setter replacing one field: `convert` turns the Python value into the
// field's value, then the field is assigned in a record nobody else holds.
template <auto kField, class Convert>
int set(PyObject* self, PyObject* value, const char* attribute, Convert convert) {
    return run_setter<MarketFrame>(self, value, attribute, convert, [](MarketFrame& frame, auto converted) {
        frame.update([&](MarketFrameData& data) { data.*kField = std::move(converted); });
    });
}

PyObject* get_spot(PyObject* self, void*) {
    return get(self, [](const MarketFrameData& data) { return from_f64(data.spot); });
}
PyObject* get_rate_curve(PyObject* self, void*) {
    return get(self, [](const MarketFrameData& data) { return wrap(data.rate_curve); });
}
PyObject* get_vol_surface(PyObject* self, void*) {
    return get(self, [](const MarketFrameData& data) { return wrap(data.vol_surface); });
}
PyObject* get_dividends(PyObject* self, void*) {
    return get(self, [](const MarketFrameData& data) { return wrap(data.dividends); });
}
PyObject* get_borrow_curve(PyObject* self, void*) {
    return get(self, [](const MarketFrameData& data) {
        return data.borrow_curve ? wrap(*data.borrow_curve) : PyRef::borrow(Py_None);
    });
}

int set_spot(PyObject* self, PyObject* value, void*) {
    return set<&MarketFrameData::spot>(self, value, "spot", to_f64);
}
int set_rate_curve(PyObject* self, PyObject* value, void*) {
    return set<&MarketFrameData::rate_curve>(self, value, "rate_curve", extract<RateCurve>);
}
int set_vol_surface(PyObject* self, PyObject* value, void*) {
    return set<&MarketFrameData::vol_surface>(self, value, "vol_surface", extract<VolSurface>);
}
int set_dividends(PyObject* self, PyObject* value, void*) {
    return set<&MarketFrameData::dividends>(self, value, "dividends", extract<DividendSchedule>);
}
int set_borrow_curve(PyObject* self, PyObject* value, void*) {
    return set<&MarketFrameData::borrow_curve>(self, value, "borrow_curve", extract_borrow_curve);
}

PyGetSetDef g_getset[] = {
    {"spot", get_spot, set_spot, nullptr, nullptr},
    {"rate_curve", get_rate_curve, set_rate_curve, nullptr, nullptr},
    {"vol_surface", get_vol_surface, set_vol_surface, nullptr, nullptr},
    {"dividends", get_dividends, set_dividends, nullptr, nullptr},
    {"borrow_curve", get_borrow_curve, set_borrow_curve, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef g_methods[] = {kReduceMethod, kEndOfMethods};

PyRef create() {
    return create_class(
        {"builtins.OptionMarketFrame",
         "OptionMarketFrame(spot, rate_curve, vol_surface, dividends=None, borrow_curve=None)\n--\n\n",
         sizeof(Object<MarketFrame>), dealloc<MarketFrame>, construct, nullptr, nullptr, g_methods, g_getset});
}

}  // namespace

VOREL_CLASS_OBJECT(MarketFrame, create)

// (spot, rate curve, volatility surface, dividends, borrow curve or None): the current record.
template <>
PyRef pickled_state<MarketFrame>(const MarketFrame& frame) {
    const MarketFrameData& data = frame.data();
    return tuple_of(from_f64(data.spot), wrap(data.rate_curve), wrap(data.vol_surface), wrap(data.dividends),
                    data.borrow_curve ? wrap(*data.borrow_curve) : PyRef::borrow(Py_None));
}

template <>
PyRef unpickle<MarketFrame>(PyObject* state) {
    VOREL_LET(items, state_items<5>(state));
    VOREL_LET(spot, to_f64(items[0]));
    VOREL_LET(rate_curve, extract<RateCurve>(items[1]));
    VOREL_LET(vol_surface, extract<VolSurface>(items[2]));
    VOREL_LET(dividends, extract<DividendSchedule>(items[3]));
    VOREL_LET(borrow_curve, extract_borrow_curve(items[4]));
    return wrap(MarketFrame(MarketFrameData{spot, std::move(rate_curve), std::move(vol_surface),
                                            std::move(dividends), std::move(borrow_curve)}));
}

}  // namespace vorel::py
