#pragma once
// Everything valuation reads about one underlying's market, held as one shared
// immutable record. Changing a field replaces the record copy-on-write, so a
// computation that took the record keeps reading what it took.

#include <memory>
#include <optional>
#include <utility>

#include "market/dividend.hpp"
#include "market/rate_curve.hpp"
#include "market/vol_surface.hpp"

namespace vorel {

struct MarketFrameData {
    double spot = 0.0;  // not validated
    RateCurve rate_curve;
    VolSurface vol_surface;
    DividendSchedule dividends;
    std::optional<RateCurve> borrow_curve;  // absent only when a caller cleared it

    // The curve a frame borrows at when none is given: continuous 0 under Actual/365 Fixed.
    static RateCurve default_borrow_curve() {
        return RateCurve::continuous(0.0, DayCountConvention::actual_365_fixed());
    }

    // The continuously compounded rate of the borrow curve's discount factor
    // over t (its zero rate for t ≤ 0); 0 when the curve is absent.
    double borrow_rate(double t) const { return borrow_curve ? borrow_curve->continuous_rate(t) : 0.0; }
};

class MarketFrame {
public:
    explicit MarketFrame(MarketFrameData data) : record_(std::make_shared<MarketFrameData>(std::move(data))) {}

    const MarketFrameData& data() const noexcept { return *record_; }
    // The current record, for a computation that must see one whole state.
    std::shared_ptr<const MarketFrameData> snapshot() const noexcept { return record_; }

    // Applies `change` to a record nobody else holds: the current one if it is
    // not shared, else a private copy that then replaces it.
    template <class Change>
    void update(Change&& change) {
        if (record_.use_count() != 1) record_ = std::make_shared<MarketFrameData>(*record_);
        std::forward<Change>(change)(*record_);
    }

private:
    std::shared_ptr<MarketFrameData> record_;
};

}  // namespace vorel
