#include "execution/closed_form_lanes.hpp"

#include <algorithm>

#include "execution/closed_form_terms.hpp"
#include "math/portable_math_lanes.hpp"

namespace vorel {
namespace {

// Everything but the error function, which erf_many works out for a whole
// chunk at a time.
template <int W>
struct LaneMath {
    using V = simd::D<W>;
    static V sqrt(V x) noexcept { return simd::sqrt<W>(x); }
    static V log(V x) noexcept { return portable::lanes::log<W>(x); }
    static V exp(V x) noexcept { return portable::lanes::exp<W>(x); }
    static V select(simd::I<W> which, V a, V b) noexcept { return simd::select<W>(which, a, b); }
};

constexpr std::size_t kChunk = portable::lanes::kErfBatch / 2;

// Elements [begin, begin + count) of `in` to the same places of `out`; count a
// multiple of W, at most kChunk.
template <int W>
void price_chunk(const AnalyticInputs& in, const AnalyticOutputs& out, std::size_t begin, std::size_t count) noexcept {
    using V = simd::D<W>;
    using Math = LaneMath<W>;
    double sqrtT[kChunk], d1[kChunk], x[2 * kChunk];
    for (std::size_t j = 0; j < count; j += W) {
        const std::size_t i = begin + j;
        const closed_form::ErfArguments<V> a = closed_form::erf_arguments<Math>(
            simd::load<W>(in.strike + i), simd::load<W>(in.years + i), simd::load<W>(in.spot + i),
            simd::load<W>(in.sigma + i), simd::load<W>(in.r + i), simd::load<W>(in.q + i));
        simd::store<W>(sqrtT + j, a.sqrtT);
        simd::store<W>(d1 + j, a.d1);
        simd::store<W>(x + j, a.x1);
        simd::store<W>(x + count + j, a.x2);
    }
    portable::lanes::erf_many<W>(x, x, 2 * count);
    for (std::size_t j = 0; j < count; j += W) {
        const std::size_t i = begin + j;
        const V K = simd::load<W>(in.strike + i), T = simd::load<W>(in.years + i), S = simd::load<W>(in.spot + i),
                sigma = simd::load<W>(in.sigma + i), r = simd::load<W>(in.r + i), q = simd::load<W>(in.q + i);
        const simd::I<W> call = simd::load<W>(in.call + i) != 0.0;
        const bool calls = simd::any<W>(call), puts = simd::any<W>(~call);
        const closed_form::ErfArguments<V> a{simd::load<W>(sqrtT + j), simd::load<W>(d1 + j), V{}, V{}};
        const closed_form::Terms<V> t =
            closed_form::terms_from<Math>(a, simd::load<W>(x + j), simd::load<W>(x + count + j), T, r, q);
        if (out.delta == nullptr) {
            const V c = calls ? closed_form::call_price(t, S, K) : V{};
            const V p = puts ? closed_form::put_price(t, S, K) : V{};
            simd::store<W>(out.price + i, simd::select<W>(call, c, p));
            continue;
        }
        const V pdf = closed_form::density<Math>(t);
        closed_form::Greeks<V> c{}, p{};
        if (calls) c = closed_form::call_greeks(t, pdf, K, T, S, sigma, r, q);
        if (puts) p = closed_form::put_greeks(t, pdf, K, T, S, sigma, r, q);
        simd::store<W>(out.price + i, simd::select<W>(call, c.price, p.price));
        simd::store<W>(out.delta + i, simd::select<W>(call, c.delta, p.delta));
        simd::store<W>(out.gamma + i, simd::select<W>(call, c.gamma, p.gamma));
        simd::store<W>(out.theta + i, simd::select<W>(call, c.theta, p.theta));
        simd::store<W>(out.vega + i, simd::select<W>(call, c.vega, p.vega));
        simd::store<W>(out.rho + i, simd::select<W>(call, c.rho, p.rho));
    }
}

// Every element: whole vectors in place, chunk by chunk, then the rest
// through a padded copy (the padding repeats the last element).
template <int W>
void price_all(const AnalyticInputs& in, const AnalyticOutputs& out) noexcept {
    const std::size_t whole = in.size - in.size % W;
    for (std::size_t i = 0; i < whole; i += kChunk) price_chunk<W>(in, out, i, std::min(kChunk, whole - i));
    const std::size_t rest = in.size - whole;
    if (rest == 0) return;
    double inputs[7][W], outputs[6][W];
    const double* from[7] = {in.strike, in.years, in.spot, in.sigma, in.r, in.q, in.call};
    for (int f = 0; f < 7; ++f) {
        for (int lane = 0; lane < W; ++lane) {
            inputs[f][lane] = from[f][whole + std::min<std::size_t>(static_cast<std::size_t>(lane), rest - 1)];
        }
    }
    const AnalyticInputs padded{W, inputs[0], inputs[1], inputs[2], inputs[3], inputs[4], inputs[5], inputs[6]};
    const bool greeks = out.delta != nullptr;
    const AnalyticOutputs local{outputs[0], greeks ? outputs[1] : nullptr, outputs[2], outputs[3], outputs[4],
                                outputs[5]};
    price_chunk<W>(padded, local, 0, W);
    double* const to[6] = {out.price, out.delta, out.gamma, out.theta, out.vega, out.rho};
    for (int f = 0; f < (greeks ? 6 : 1); ++f) std::copy_n(outputs[f], rest, to[f] + whole);
}

#if VOREL_SIMD_X86
VOREL_SIMD_AVX512 void price_avx512(const AnalyticInputs& in, const AnalyticOutputs& out) noexcept {
    price_all<8>(in, out);
}
VOREL_SIMD_AVX2 void price_avx2(const AnalyticInputs& in, const AnalyticOutputs& out) noexcept {
    price_all<4>(in, out);
}
#endif

}  // namespace

void price_analytic_lanes(const AnalyticInputs& in, const AnalyticOutputs& out, simd::Level level) noexcept {
    level = std::min(level, simd::detected_level());
#if VOREL_SIMD_X86
    if (level == simd::Level::Avx512) return price_avx512(in, out);
    if (level == simd::Level::Avx2) return price_avx2(in, out);
#endif
    price_all<2>(in, out);
}

}  // namespace vorel
