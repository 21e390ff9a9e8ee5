#pragma once
// The Black–Scholes–Merton implied volatility of a European quote, solved to
// machine accuracy.

#include "execution/element_status.hpp"
#include "instruments/vanilla_option.hpp"

namespace vorel {

struct ImpliedVolatility {
    double sigma;  // NaN unless status is Ok
    ElementStatus status;
};

// The volatility σ at which the Black–Scholes–Merton closed form with
// continuous rates prices `price`:  price = S·e^{-qT}·N(d1) − K·e^{-rT}·N(d2)
// for a call (put by parity), d1 = (ln(S/K) + (σ²/2 + r − q)T)/(σ√T); T in years.
//
// InvalidInput for an argument that is not finite or S ≤ 0 or K ≤ 0; Expired
// for T ≤ 0; BelowIntrinsic below the discounted forward intrinsic value
// max(±(S·e^{-qT} − K·e^{-rT}), 0), which itself gives σ = 0; AboveUpperBound
// at or above S·e^{-qT} (call) or K·e^{-rT} (put). Pure: allocates nothing,
// touches no shared state.
ImpliedVolatility black_implied_vol(double price, OptionType type, double S, double K, double T, double r,
                                    double q) noexcept;

// e^{x²}·erfc(x), within a few ulp for every x for which it is finite.
double erfcx(double x) noexcept;

}  // namespace vorel
