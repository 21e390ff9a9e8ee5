#pragma once
// Vector twins of the portable exponential, logarithm and error function:
// each lane gets the bits the scalar function gives for it, by the same
// operations in the same order. The exponential and logarithm work out their
// main path for every lane and their rare bands only when a lane is in one;
// the error function, whose bands cost alike, sorts its arguments by band.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "math/portable_constants.hpp"
#include "math/simd.hpp"

namespace vorel::portable::lanes {

template <int W>
using D = simd::D<W>;
template <int W>
using I = simd::I<W>;
template <int W>
using U = simd::U<W>;

template <int W>
inline D<W> exp(D<W> x) noexcept {
    using namespace constants;
    using simd::select;
    const I<W> hx_signed = simd::high_word<W>(x);
    const I<W> negative = hx_signed < 0;
    const I<W> hx = hx_signed & 0x7FFFFFFF;

    // x = k·ln2 + (hi − lo): k = ±1 in the middle band, else x/ln2 rounded.
    const I<W> medium = hx < 0x3FF0A2B2;
    const D<W> half_signed = select<W>(negative, simd::broadcast<W>(half[1]), simd::broadcast<W>(half[0]));
    const D<W> one_signed = select<W>(negative, simd::broadcast<W>(-1.0), simd::broadcast<W>(1.0));
    const D<W> t = select<W>(medium, one_signed, simd::trunc_small<W>(inv_ln2 * x + half_signed));
    // In the middle band t·ln2_hi is ±ln2_hi exactly: the scalar form's x − ln2_hi[xsb].
    const D<W> hi = x - t * ln2_hi[0];
    const D<W> lo = t * ln2_lo[0];
    const I<W> reduced = hx > 0x3FD62E42;
    const D<W> r = select<W>(reduced, hi - lo, x);

    const D<W> tt = r * r;
    const D<W> c = r - tt * (P1 + tt * (P2 + tt * (P3 + tt * (P4 + tt * P5))));
    // One quotient serves both forms: (r·c)/(c − 2) is −((r·c)/(2 − c)) exactly.
    const D<W> quotient = (r * c) / (2.0 - c);
    const D<W> unscaled = 1.0 - (-quotient - r);  // k = 0
    const D<W> y = 1.0 - ((lo - quotient) - hi);
    // y·2^k by the exponent field; below 2^-1021 by 2^(k+1000), then 2^-1000.
    const I<W> k = simd::to_int<W>(t);
    const I<W> deep = k < -1021;
    const U<W> step = simd::as<U<W>>(k) + select<W>(deep, U<W>{} + 1000, U<W>{});
    const D<W> scaled = simd::from_bits<W>(simd::bits<W>(y) + (step << 52));
    D<W> result = select<W>(reduced, select<W>(deep, scaled * twom1000, scaled), unscaled);
    result = select<W>(hx < 0x3E300000, 1.0 + x, result);

    const I<W> extreme = hx >= 0x40862E42;
    if (simd::any<W>(extreme)) {
        const D<W> infinite_or_nan = select<W>(x != x, x + x, select<W>(negative, D<W>{}, x));
        D<W> edge = select<W>(x > o_threshold, simd::broadcast<W>(huge * huge), result);
        edge = select<W>(x < u_threshold, simd::broadcast<W>(twom1000 * twom1000), edge);
        edge = select<W>(hx >= 0x7FF00000, infinite_or_nan, edge);
        result = select<W>(extreme, edge, result);
    }
    return result;
}

template <int W>
inline D<W> log(D<W> x) noexcept {
    using namespace constants;
    using simd::select;
    constexpr double kInfinity = __builtin_inf();
    const I<W> hx_in = simd::high_word<W>(x);
    const U<W> low = simd::bits<W>(x) & 0xFFFFFFFFULL;

    // Subnormals scaled up by 2^54; zeros, negatives, infinities and NaN set aside.
    const I<W> below = hx_in < 0x00100000;
    const I<W> zero = ((hx_in & 0x7FFFFFFF) | simd::as<I<W>>(low)) == 0;
    const D<W> scaled_x = x * two54;
    const I<W> subnormal = below & ~zero & (hx_in >= 0);
    const D<W> v = select<W>(subnormal, scaled_x, x);
    const I<W> hx_v = simd::high_word<W>(v);
    const I<W> low_v = simd::as<I<W>>(simd::bits<W>(v)) & 0xFFFFFFFFLL;

    I<W> k = select<W>(subnormal, I<W>{} - 54, I<W>{}) + ((hx_v >> 20) - 1023);
    const I<W> hx = hx_v & 0x000FFFFF;
    const I<W> i = (hx + 0x95F64) & 0x100000;
    const I<W> normalised = (hx | (i ^ 0x3FF00000)) << 32 | low_v;
    k += i >> 20;
    const D<W> f = simd::as<D<W>>(normalised) - 1.0;
    const D<W> dk = simd::to_double<W>(k);
    const I<W> k_zero = k == 0;

    const D<W> s = f / (2.0 + f);
    const D<W> z = s * s;
    const D<W> w = z * z;
    const D<W> t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
    const D<W> t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
    const D<W> R = t2 + t1;
    const D<W> hfsq = 0.5 * f * f;
    const D<W> by_half_square = select<W>(k_zero, f - (hfsq - s * (hfsq + R)),
                                          dk * ln2_hi[0] - ((hfsq - (s * (hfsq + R) + dk * ln2_lo[0])) - f));
    const D<W> by_s = select<W>(k_zero, f - s * (f - R), dk * ln2_hi[0] - ((s * (f - R) - dk * ln2_lo[0]) - f));
    D<W> result = select<W>(((hx - 0x6147A) | (0x6B851 - hx)) > 0, by_half_square, by_s);

    const I<W> f_tiny = (0x000FFFFF & (2 + hx)) < 3;
    if (simd::any<W>(f_tiny)) {
        const D<W> Rt = f * f * (0.5 - 0.33333333333333333 * f);
        D<W> tiny_f = select<W>(k_zero, f - Rt, dk * ln2_hi[0] - ((Rt - dk * ln2_lo[0]) - f));
        tiny_f = select<W>(f == 0.0, select<W>(k_zero, D<W>{}, dk * ln2_hi[0] + dk * ln2_lo[0]), tiny_f);
        result = select<W>(f_tiny, tiny_f, result);
    }
    const I<W> special = (below & ~subnormal) | (hx_v >= 0x7FF00000);
    if (simd::any<W>(special)) {
        D<W> edge = select<W>(zero, simd::broadcast<W>(-kInfinity), simd::broadcast<W>(__builtin_nan("")));
        edge = select<W>(below, edge, x + x);
        result = select<W>(special, edge, result);
    }
    return result;
}

// The error function's bands, each for lanes that are all in it.
namespace erf_band {

// |x| < 0.84375
template <int W>
inline D<W> small(D<W> x) noexcept {
    using namespace constants;
    const I<W> ix = simd::high_word<W>(x) & 0x7FFFFFFF;
    const D<W> z = x * x;
    const D<W> r = pp0 + z * (pp1 + z * (pp2 + z * (pp3 + z * pp4)));
    const D<W> s = 1.0 + z * (qq1 + z * (qq2 + z * (qq3 + z * (qq4 + z * qq5))));
    const D<W> y = r / s;
    const D<W> tiny_x = simd::select<W>(ix < 0x00800000, 0.125 * (8.0 * x + efx8 * x), x + efx * x);
    return simd::select<W>(ix < 0x3E300000, tiny_x, x + x * y);
}

// 0.84375 <= |x| < 1.25
template <int W>
inline D<W> near_one(D<W> x) noexcept {
    using namespace constants;
    const I<W> negative = simd::high_word<W>(x) < 0;
    const D<W> s = simd::select<W>(negative, -x, x) - 1.0;
    const D<W> P = pa0 + s * (pa1 + s * (pa2 + s * (pa3 + s * (pa4 + s * (pa5 + s * pa6)))));
    const D<W> Q = 1.0 + s * (qa1 + s * (qa2 + s * (qa3 + s * (qa4 + s * (qa5 + s * qa6)))));
    const D<W> ratio = P / Q;
    return simd::select<W>(negative, -erx - ratio, erx + ratio);
}

// 1.25 <= |x| < 6
template <int W>
inline D<W> tail(D<W> x) noexcept {
    using namespace constants;
    const I<W> hx = simd::high_word<W>(x);
    const I<W> negative = hx < 0;
    const D<W> a = simd::select<W>(negative, -x, x);
    // The two sub-bands' chains in one: the shorter one's missing top
    // coefficient is 0, and c + s·0 is c exactly for the finite s here.
    const I<W> inner = (hx & 0x7FFFFFFF) < 0x4006DB6E;
    const auto c = [&inner](double in_inner, double in_outer) {
        return simd::select<W>(inner, simd::broadcast<W>(in_inner), simd::broadcast<W>(in_outer));
    };
    const D<W> s = 1.0 / (a * a);
    const D<W> R =
        c(ra0, rb0) +
        s * (c(ra1, rb1) +
             s * (c(ra2, rb2) +
                  s * (c(ra3, rb3) + s * (c(ra4, rb4) + s * (c(ra5, rb5) + s * (c(ra6, rb6) + s * c(ra7, 0.0)))))));
    const D<W> S =
        1.0 + s * (c(sa1, sb1) +
                   s * (c(sa2, sb2) +
                        s * (c(sa3, sb3) +
                             s * (c(sa4, sb4) +
                                  s * (c(sa5, sb5) + s * (c(sa6, sb6) + s * (c(sa7, sb7) + s * c(sa8, 0.0))))))));
    const D<W> z = simd::from_bits<W>(simd::bits<W>(a) & 0xFFFFFFFF00000000ULL);
    const D<W> r = exp<W>(-z * z - 0.5625) * exp<W>((z - a) * (z + a) + R / S);
    const D<W> ratio = r / a;
    return simd::select<W>(negative, ratio - 1.0, 1.0 - ratio);
}

// |x| >= 6, infinities and NaN
template <int W>
inline D<W> large(D<W> x) noexcept {
    const I<W> hx = simd::high_word<W>(x);
    const I<W> negative = hx < 0;
    const double t = constants::tiny;
    const D<W> band = simd::select<W>(negative, simd::broadcast<W>(t - 1.0), simd::broadcast<W>(1.0 - t));
    const D<W> beyond = simd::select<W>(negative, -1.0 + 1.0 / x, 1.0 + 1.0 / x);
    return simd::select<W>((hx & 0x7FFFFFFF) >= 0x7FF00000, beyond, band);
}

}  // namespace erf_band

// y[i] = erf(x[i]) for i < n (the arrays may be the same). The elements are
// sorted by band and each band is worked out in whole vectors of its own
// elements, so that every element costs what its band costs; at most
// kErfBatch elements at a time.
inline constexpr std::size_t kErfBatch = 512;

template <int W>
inline void erf_many(const double* x, double* y, std::size_t n) noexcept {
    std::uint16_t members[4][kErfBatch];
    std::size_t counts[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t pattern;
        std::memcpy(&pattern, x + i, sizeof pattern);
        const std::uint32_t ix = static_cast<std::uint32_t>(pattern >> 32) & 0x7FFFFFFF;
        const int band = (ix >= 0x3FEB0000) + (ix >= 0x3FF40000) + (ix >= 0x40180000);
        members[band][counts[band]++] = static_cast<std::uint16_t>(i);
    }
    const auto run = [&](int band, auto&& evaluate) {
        const std::uint16_t* index = members[band];
        const std::size_t count = counts[band];
        for (std::size_t j = 0; j < count; j += W) {
            D<W> v;
            for (int lane = 0; lane < W; ++lane) v[lane] = x[index[j + lane < count ? j + lane : count - 1]];
            const D<W> result = evaluate(v);
            for (int lane = 0; lane < W && j + lane < count; ++lane) y[index[j + lane]] = result[lane];
        }
    };
    run(0, [](D<W> v) { return erf_band::small<W>(v); });
    run(1, [](D<W> v) { return erf_band::near_one<W>(v); });
    run(2, [](D<W> v) { return erf_band::tail<W>(v); });
    run(3, [](D<W> v) { return erf_band::large<W>(v); });
}

}  // namespace vorel::portable::lanes
