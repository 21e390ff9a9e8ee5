// OptionMarketFrame: spot, curves, surface and dividends of one underlying.
// Reads hand out fresh objects holding copies; writes replace one field of the
// shared record copy-on-write.

#include <optional>
#include <utility>

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

MarketFrame make(double spot, RateCurve rate_curve, VolSurface vol_surface, std::optional<DividendSchedule> dividends,
                 std::optional<RateCurve> borrow_curve) {
    return MarketFrame(MarketFrameData{spot, std::move(rate_curve), std::move(vol_surface),
                                       std::move(dividends).value_or(DividendSchedule()),
                                       borrow_curve ? std::move(borrow_curve)
                                                    : MarketFrameData::default_borrow_curve()});
}

// A field of the current record, read into a fresh Python value.
template <auto kField>
const auto& field(const MarketFrame& frame) {
    return frame.data().*kField;
}

// Replaces one field in a record nobody else holds.
template <auto kField, class V>
void set_field(MarketFrame& frame, V value) {
    frame.update([&](MarketFrameData& data) { data.*kField = std::move(value); });
}

PyRef borrow_curve(const MarketFrame& frame) { return or_none(frame.data().borrow_curve); }

using Declared = Class<MarketFrame, "OptionMarketFrame">;

PyRef create() {
    using Data = MarketFrameData;
    return Declared::create<
        Declared::constructor<make, "spot", "rate_curve", "vol_surface", "dividends", "borrow_curve">,
        Declared::property<"spot", field<&Data::spot>, set_field<&Data::spot, double>>,
        Declared::property<"rate_curve", field<&Data::rate_curve>, set_field<&Data::rate_curve, RateCurve>>,
        Declared::property<"vol_surface", field<&Data::vol_surface>, set_field<&Data::vol_surface, VolSurface>>,
        Declared::property<"dividends", field<&Data::dividends>, set_field<&Data::dividends, DividendSchedule>>,
        Declared::property<"borrow_curve", borrow_curve,
                           set_field<&Data::borrow_curve, std::optional<RateCurve>>>,
        Declared::pickled>();
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
    VOREL_LET(borrow_curve, Parameter<std::optional<RateCurve>>::raw(items[4]));
    return wrap(MarketFrame(MarketFrameData{spot, std::move(rate_curve), std::move(vol_surface),
                                            std::move(dividends), std::move(borrow_curve)}));
}

}  // namespace vorel::py
