#pragma once
// The closed form's formulas, written once for one option (Value = double) and
// for a vector of options (Value = a vector of doubles), so that both evaluate
// the same operations in the same order and get the same bits. `Math` names
// the square root, logarithm, exponential and error function for the value
// type, and the per-lane choice between two values.
//
// The grouping of every expression is deliberate: results are reproduced bit
// for bit across platforms, so nothing here may be rearranged.

#include <cmath>

#include "math/portable_math.hpp"

namespace vorel::closed_form {

// One option at a time: the portable functions (the same bits on every
// platform) and the exact square root.
struct ScalarMath {
    static double sqrt(double x) noexcept { return std::sqrt(x); }
    static double log(double x) noexcept { return portable::log(x); }
    static double exp(double x) noexcept { return portable::exp(x); }
    static double erf(double x) noexcept { return portable::erf(x); }
    static double select(bool which, double a, double b) noexcept { return which ? a : b; }
};

template <class Value>
struct Terms {
    Value sqrtT, Nd1, Nd2, Nmd1, Nmd2, pdf_arg, Dr, Dq;
};

// What the error function is evaluated at: d1/√2 and d2/√2.
template <class Value>
struct ErfArguments {
    Value sqrtT, d1, x1, x2;
};

template <class Math, class Value>
inline ErfArguments<Value> erf_arguments(Value K, Value T, Value S, Value sigma, Value r, Value q) noexcept {
    const Value sqrtT = Math::sqrt(T);
    const Value spread = Math::log(S / K) + (0.5 * sigma * sigma + (r - q)) * T;
    const Value width = sigma * sqrtT;
    // At the forward with no volatility left (σ√T = 0) d1 is 0/0; its limit is 0.
    const Value d1 = Math::select((spread == 0.0) & (width == 0.0), Value{} + 0.0, spread / width);
    const Value d2 = d1 - sigma * sqrtT;
    return {sqrtT, d1, d1 / 1.4142135623730951, d2 / 1.4142135623730951};
}

// The terms from e1 = erf(x1) and e2 = erf(x2). erf is odd to the bit and x/√2
// negates exactly, so N(-d) = (1 - erf(d/√2))/2 is what the normal
// distribution function at -d gives: two erf evaluations serve all four.
template <class Math, class Value>
inline Terms<Value> terms_from(const ErfArguments<Value>& a, Value e1, Value e2, Value T, Value r, Value q) noexcept {
    return {a.sqrtT, (e1 + 1) * 0.5, (e2 + 1) * 0.5, (1 - e1) * 0.5, (1 - e2) * 0.5, -(a.d1 * a.d1) * 0.5,
            Math::exp(-r * T), Math::exp(-q * T)};
}

template <class Math, class Value>
inline Terms<Value> terms(Value K, Value T, Value S, Value sigma, Value r, Value q) noexcept {
    const ErfArguments<Value> a = erf_arguments<Math>(K, T, S, sigma, r, q);
    return terms_from<Math>(a, Math::erf(a.x1), Math::erf(a.x2), T, r, q);
}

template <class Value>
inline Value call_price(const Terms<Value>& t, Value S, Value K) noexcept {
    return t.Nd1 * S * t.Dq - t.Nd2 * K * t.Dr;
}

template <class Value>
inline Value put_price(const Terms<Value>& t, Value S, Value K) noexcept {
    return K * t.Dr * t.Nmd2 - S * t.Dq * t.Nmd1;
}

template <class Value>
struct Greeks {
    Value price, delta, gamma, theta, vega, rho;
};

// The standard normal density at d1.
template <class Math, class Value>
inline Value density(const Terms<Value>& t) noexcept {
    return Math::exp(t.pdf_arg) / 2.5066282746310002;  // √(2π)
}

template <class Value>
inline Greeks<Value> call_greeks(const Terms<Value>& t, Value pdf, Value K, Value T, Value S, Value sigma, Value r,
                                 Value q) noexcept {
    const Value sqrtT = t.sqrtT, Nd1 = t.Nd1, Nd2 = t.Nd2, Dr = t.Dr, Dq = t.Dq;
    Greeks<Value> g;
    g.price = call_price(t, S, K);
    g.gamma = Dq * pdf / (S * sigma * sqrtT);
    g.vega = sqrtT * S * Dq * pdf;
    g.delta = Nd1 * Dq;
    g.theta = Nd1 * S * q * Dq - S * Dq * pdf * sigma / (2 * sqrtT) - Nd2 * r * K * Dr;
    g.rho = Nd2 * K * T * Dr;
    return g;
}

template <class Value>
inline Greeks<Value> put_greeks(const Terms<Value>& t, Value pdf, Value K, Value T, Value S, Value sigma, Value r,
                                Value q) noexcept {
    const Value sqrtT = t.sqrtT, Nd1 = t.Nd1, Nmd1 = t.Nmd1, Nmd2 = t.Nmd2, Dr = t.Dr, Dq = t.Dq;
    Greeks<Value> g;
    g.price = put_price(t, S, K);
    g.gamma = Dq * pdf / (S * sigma * sqrtT);
    g.vega = sqrtT * S * Dq * pdf;
    g.delta = Dq * (Nd1 - 1);
    g.theta = r * K * Dr * Nmd2 - sigma * S * Dq * pdf / (2 * sqrtT) - S * q * Dq * Nmd1;
    g.rho = -K * T * Dr * Nmd2;
    return g;
}

}  // namespace vorel::closed_form
