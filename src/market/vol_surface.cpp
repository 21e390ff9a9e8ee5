#include "market/vol_surface.hpp"

#include "core/panic.hpp"

namespace vorel {

double VolSurface::volatility(double /*strike*/, double t) const {
    if (const auto* surface = std::get_if<Flat>(&value_)) return surface->volatility;
    return std::get<TermStructure>(value_).by_time.evaluate(t);
}

const DayCountConvention& VolSurface::day_count_convention() const {
    if (const auto* surface = std::get_if<Flat>(&value_)) return surface->day_count;
    panic("not yet implemented");
}

}  // namespace vorel
