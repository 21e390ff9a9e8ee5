#include "core/rate/compounding.hpp"

#include <cmath>

namespace vorel {

std::string Compounding::debug_text() const {
    switch (tag_) {
        case Tag::Simple: return "Simple";
        case Tag::Continuous: return "Continuous";
        case Tag::Compounded: return "Compounded(" + std::string(vorel::debug_text(frequency_)) + ")";
        case Tag::SimpleThenCompounded:
            return "SimpleThenCompounded(" + std::string(vorel::debug_text(frequency_)) + ")";
    }
    return {};
}

// The operation groupings are part of the contract: callers compare results
// bit for bit, so keep them exactly as written.
double discount_factor(double rate, Compounding compounding, double t) {
    switch (compounding.tag()) {
        case Compounding::Tag::Simple:
            return 1.0 / (t * rate + 1.0);
        case Compounding::Tag::Compounded: {
            const double f = static_cast<double>(periods_per_year(compounding.frequency()));
            return 1.0 / std::pow(rate / f + 1.0, t * f);
        }
        case Compounding::Tag::Continuous:
            return std::exp(-(rate * t));
        case Compounding::Tag::SimpleThenCompounded: {
            // Simple up to one period, compounded beyond it.
            const double f = static_cast<double>(periods_per_year(compounding.frequency()));
            if (t * f <= 1.0) return 1.0 / (t * rate + 1.0);
            return 1.0 / std::pow(rate / f + 1.0, t * f);
        }
    }
    return 1.0;
}

double continuous_rate(double rate, Compounding compounding, double t) {
    if (!(t > 0.0)) return rate;
    const double f = static_cast<double>(periods_per_year(compounding.frequency()));
    switch (compounding.tag()) {
        case Compounding::Tag::Simple:
            return std::log1p(t * rate) / t;
        case Compounding::Tag::Compounded:
            return f * std::log1p(rate / f);
        case Compounding::Tag::Continuous:
            return rate;
        case Compounding::Tag::SimpleThenCompounded:
            return t * f <= 1.0 ? std::log1p(t * rate) / t : f * std::log1p(rate / f);
    }
    return rate;
}

}  // namespace vorel
