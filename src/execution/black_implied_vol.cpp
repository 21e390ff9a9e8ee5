#include "execution/black_implied_vol.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

// Everything is worked in the normalised frame of P. Jäckel, "Let's Be
// Rational" (2013/2016): x = ln(F/K), s = σ√T, the call worth
// b(x, s) = e^{x/2}·N(x/s + s/2) − e^{-x/2}·N(x/s − s/2), every quote
// reduced to the out-of-the-money call (x ≤ 0), 0 < b < b_max = e^{x/2}.
//
// With h = x/s, t = s/2 and the Mills ratio M(z) = N(−z)/n(z) = √(π/2)·erfcx(z/√2),
//     b     = n(h, t)·[M(−h − t) − M(−h + t)],
//     b_max − b = n(h, t)·[M(h + t) + M(t − h)],
//     ∂b/∂s = n(h, t),        n(h, t) = e^{−(h² + t²)/2}/√(2π),
// so b and its complement are products of one Gaussian factor and a bracket
// of Mills ratios, and the logarithm of either needs no exponential at all.
// The lower bracket is a difference: it is summed from series where the two
// ratios nearly cancel (an asymptotic expansion for large −h, a Taylor series
// in t for small t), and taken from erfcx elsewhere.
//
// The root is found on one of two sides of s_c = √(2|x|), where b is steepest
// in s: below it on ln b, above it on ln(b_max − b), both close to linear
// there. A start from an interpolation that is exact at both ends of the side
// (its small- or large-s asymptote and s_c) is refined by Householder steps of
// fourth order, safeguarded by the bracket every evaluation narrows.

namespace vorel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSqrtPi = 1.7724538509055160273;
constexpr double kSqrt2 = 1.4142135623730950488;
constexpr double kInvSqrt2 = 0.70710678118654752440;
constexpr double kInvSqrt12 = 0.28867513459481288225;
constexpr double kSqrtHalfPi = 1.2533141373155002512;  // √(π/2)
constexpr double kInvSqrt2Pi = 0.39894228040143267794;
constexpr double kHalfLn2Pi = 0.91893853320467274178;
constexpr double kSqrt3 = 1.7320508075688772935;
constexpr double kTwoPiOver3Sqrt3 = 1.2091995761561452337;  // 2π/(3√3)

// erfcx on [−1, 4) as ten polynomials of degree 15 in t = 4(x − centre) ∈ [−1, 1],
// and on [4, ∞) as √π·x·erfcx(x) in t = 32/x² − 1; Chebyshev fits to the
// function computed in 50-digit arithmetic, truncated at 1e-17.
constexpr double kErfcxPiece[10][16] = {
    {  // [-1, -0.5)
        3.003171663627452, -1.4082841656341727, 0.45175151003312547, -0.11514744565556498,
        0.024912307718695428, -0.0047471092202849615, 0.0008157007374657684, -0.00012846806133974005,
        1.8767262858564483e-05, -2.5662477701378342e-06, 3.3082836240337916e-07, -4.0440430365167856e-08,
        4.70600887802817e-09, -5.242857395076945e-10, 5.845144034807666e-11, -6.014524868959329e-12},
    {  // [-0.5, 0)
        1.358642370104722, -0.4519250880369684, 0.11316046613385576, -0.023545231423784365,
        0.0042720530486741294, -0.0006954321118111174, 0.0001034892741937755, -1.4266453323715616e-05,
        1.8399331756591845e-06, -2.236998050728273e-07, 2.5795554800906787e-08, -2.835188709710635e-09,
        2.980684214828043e-10, -3.011208966946646e-11, 3.03388603477411e-12, -2.850696912847716e-13},
    {  // [0, 0.5)
        0.7703465477309968, -0.18580147330750355, 0.03653406715146833, -0.006219475256501469,
        0.0009473309967175951, -0.00013180360649457334, 1.6990153963934394e-05, -2.050240223907563e-06,
        2.334361484360231e-07, -2.523338945457263e-08, 2.6025424930912117e-09, -2.5716962046309403e-10,
        2.4421504217927796e-11, -2.236994910607115e-12, 2.0390042474930348e-13, -1.7492053770701847e-14},
    {  // [0.5, 1)
        0.5069376502931449, -0.09199317291394885, 0.014434883221956143, -0.002028688468670017,
        0.00026090055674830685, -3.114966996062544e-05, 3.4885738931185562e-06, -3.6935621932046667e-07,
        3.719539403243034e-08, -3.5801393666236707e-09, 3.3068776867066163e-10, -2.941002785013813e-11,
        2.5249276985413923e-12, -2.0987756032567348e-13, 1.7336613294373468e-14, -1.3586664200318442e-15},
    {  // [1, 1.5)
        0.3678229164523611, -0.052205468991152464, 0.006674723218537425, -0.0007846605374360558,
        8.598189160491005e-05, -8.868776985287435e-06, 8.674584724741752e-07, -8.09193682675868e-08,
        7.232212962964344e-09, -6.216430995933575e-10, 5.155001854106995e-11, -4.135154975458708e-12,
        3.215473325967751e-13, -2.4294596746293162e-14, 1.8229207614704157e-15, -1.3067856039609544e-16},
    {  // [1.5, 2)
        0.2849722347374364, -0.0327440863786213, 0.0034852268804429543, -0.0003478124256466926,
        3.2829371903628235e-05, -2.95017055803235e-06, 2.537120416131788e-07, -2.096761190622102e-08,
        1.6709180954414315e-09, -1.2876646117021622e-10, 9.619416221153914e-12, -6.980752588206267e-13,
        4.929457134410612e-14, -3.3934714389624637e-15, 2.3195261566208467e-16, -1.5238826414871422e-17},
    {  // [2, 2.5)
        0.23108725873039188, -0.02212162570218729, 0.0019995392131691415, -0.00017190719931937573,
        1.4136700602961235e-05, -1.1169223473181116e-06, 8.509165577296169e-08, -6.269597238618568e-09,
        4.4789500945000717e-10, -3.1090863177223996e-11, 2.10096619731063e-12, -1.3843384090006595e-13,
        8.906080354485181e-15, -5.602518399261511e-16, 3.49978742399551e-17, -2.112273834735078e-18},
    {  // [2.5, 3)
        0.1936620962790687, -0.01580940939015871, 0.001234912061707679, -9.272402964059338e-05,
        6.717116739410992e-06, -4.7089363767681126e-07, 3.202680677013865e-08, -2.117835057240756e-09,
        1.364159552721122e-10, -8.573049284091157e-12, 5.264052668667754e-13, -3.162037599031653e-14,
        1.86009892216759e-15, -1.0728055447166773e-16, 6.146134861990296e-18, -3.4171489474931143e-19},
    {  // [3, 3.5)
        0.16633534842682188, -0.011799850580292594, 0.0008085806801886348, -5.367923907668084e-05,
        3.4609553809932485e-06, -2.1717047809421512e-07, 1.3286232620178183e-08, -7.937402505702843e-10,
        4.6368896284936114e-11, -2.652008315507579e-12, 1.4865986991482037e-13, -8.175344695215967e-15,
        4.4144155291662515e-16, -2.3425093501375086e-17, 1.2352796480435723e-18, -6.345703235061076e-20},
    {  // [3.5, 4)
        0.14558972127503855, -0.009114064383180883, 0.0005549222204578311, -3.292629484639235e-05,
        1.9071186800608103e-06, -1.0798786613700472e-07, 5.985431000119983e-09, -3.251143059859448e-10,
        1.7323693909808786e-11, -9.063735737083178e-13, 4.660113223802427e-14, -2.3563256745984585e-15,
        1.1724851299163996e-16, -5.745332337632491e-18, 2.79897152268639e-19, -1.3326624600493835e-20},
};
constexpr double kErfcxTail[16] = {
    0.9850557060634584, -0.014310447062397032, 0.0005912853104842617, -3.8747746359677255e-05,
    3.393739658403544e-06, -3.6586878580308657e-07, 4.626582911367145e-08, -6.650125155631229e-09,
    1.0628389128969378e-09, -1.8584359229210307e-10, 3.5156657202595396e-11, -7.115106187680359e-12,
    1.480798394860089e-12, -3.3150665653082737e-13, 1.0772553818644187e-13, -2.788281610026237e-14};

// Σ c_k t^k, k < 16, by Estrin's scheme: four levels of independent products
// instead of fifteen dependent ones.
inline double poly15(const double* c, double t) noexcept {
    const double t2 = t * t, t4 = t2 * t2, t8 = t4 * t4;
    const double a0 = c[0] + c[1] * t, a1 = c[2] + c[3] * t, a2 = c[4] + c[5] * t, a3 = c[6] + c[7] * t;
    const double a4 = c[8] + c[9] * t, a5 = c[10] + c[11] * t, a6 = c[12] + c[13] * t, a7 = c[14] + c[15] * t;
    const double b0 = a0 + a1 * t2, b1 = a2 + a3 * t2, b2 = a4 + a5 * t2, b3 = a6 + a7 * t2;
    return (b0 + b1 * t4) + (b2 + b3 * t4) * t8;
}

// erfcx for x ≥ −1 (NaN stays NaN).
inline double erfcx_main(double x) noexcept {
    if (!(x < 4.0)) {
        const double t = 32.0 / (x * x) - 1.0;  // −1 for x = ∞: the value is then 1/∞ = 0
        return poly15(kErfcxTail, t) / (kSqrtPi * x);
    }
    // x ≥ −1 here, so the index is in [0, 10]; x just below 4 can round up to 10.
    const int i = std::min(static_cast<int>((x + 1.0) * 2.0), 9);
    const double centre = -0.75 + 0.5 * i;
    return poly15(kErfcxPiece[i], (x - centre) * 4.0);
}

// Mills ratio N(−z)/n(z).
inline double mills(double z) noexcept { return kSqrtHalfPi * erfcx(z * kInvSqrt2); }

// M(−h − t) − M(−h + t) for x = 2ht ≤ 0 and h + t below 0.85, without the
// cancellation of the two ratios.
double lower_bracket(double h, double t) noexcept {
    const double y = -h;
    if (h < -10.0 && h + t < -9.79) {
        // Asymptotic expansion M(z) ~ Σ (−1)^k (2k−1)!!/z^{2k+1}, differenced term by
        // term: p^{2k+1} − q^{2k+1} = (p − q)·Σ_{i ≤ 2k} p^{2k−i} q^i with p − q = 2t·p·q.
        // Here z ≥ y − t > 9.79: the terms fall below 1e-17 long before they grow.
        const double p = 1.0 / (y - t), q = 1.0 / (y + t);
        double power = 1.0, h_sum = 1.0, coefficient = 1.0, sum = 1.0;
        for (int k = 1; k <= 40; ++k) {
            power *= q;
            h_sum = p * h_sum + power;
            power *= q;
            h_sum = p * h_sum + power;
            coefficient *= -(2.0 * k - 1.0);
            const double term = coefficient * h_sum;
            sum += term;
            if (std::fabs(term) <= 1e-17 * sum) break;
        }
        return 2.0 * t * p * q * sum;
    }
    if (t < 0.21) {
        // M(y − t) − M(y + t) = 2 Σ_k t^{2k+1}/(2k+1)!·m_{2k+1}(y), the moments
        // m_n(y) = ∫_0^∞ u^n e^{−yu − u²/2} du: m_0 = M(y), m_1 = 1 − y·M(y),
        // m_{n+1} = n·m_{n−1} − y·m_n. Here y ≤ 10 and t² < 0.0441: sixteen
        // orders leave less than 1e-17; small t needs far fewer.
        double m_prev = mills(y);
        double m = 1.0 - y * m_prev;
        const double w = t * t;
        // 1/((n + 1)(n + 2)) for n = 1, 3, …, 15: t^{2k}/(2k+1)! built up term by term.
        constexpr double step_factor[8] = {1.0 / 6,   1.0 / 20,  1.0 / 42,  1.0 / 72,
                                           1.0 / 110, 1.0 / 156, 1.0 / 210, 1.0 / 272};
        double factor = 1.0, sum = m;
        for (int n = 1; n < 16; n += 2) {
            const double m_even = n * m_prev - y * m;
            const double m_odd = (n + 1) * m - y * m_even;
            factor *= w * step_factor[n / 2];
            const double term = factor * m_odd;
            sum += term;
            if (std::fabs(term) <= 1e-17 * sum) break;  // the terms fall faster than geometrically
            m_prev = m_even;
            m = m_odd;
        }
        return 2.0 * t * sum;
    }
    return kSqrtHalfPi * (erfcx(-(h + t) * kInvSqrt2) - erfcx((t - h) * kInvSqrt2));
}

// M(h + t) + M(t − h): a sum, exact to rounding wherever it is finite.
inline double upper_bracket(double h, double t) noexcept { return mills(h + t) + mills(t - h); }

// The inverse of N, within about 1e-9 relative (P. J. Acklam's rational
// approximation), for 0 < p ≤ 1/2.
double inverse_norm_cdf_lower(double p) noexcept {
    if (p < 0.02425) {
        const double q = std::sqrt(-2.0 * std::log(p));
        return (((((-7.784894002430293e-03 * q - 3.223964580411365e-01) * q - 2.400758277161838e+00) * q -
                  2.549732539343734e+00) * q + 4.374664141464968e+00) * q + 2.938163982698783e+00) /
               ((((7.784695709041462e-03 * q + 3.224671290700398e-01) * q + 2.445134137142996e+00) * q +
                 3.754408661907416e+00) * q + 1.0);
    }
    const double q = p - 0.5, r = q * q;
    return (((((-3.969683028665376e+01 * r + 2.209460984245205e+02) * r - 2.759285104469687e+02) * r +
              1.383577518672690e+02) * r - 3.066479806614716e+01) * r + 2.506628277459239e+00) * q /
           (((((-5.447609879822406e+01 * r + 1.615858368580409e+02) * r - 1.556989798598866e+02) * r +
              6.680131188771972e+01) * r - 1.328068155288572e+01) * r + 1.0);
}

// Cubic Hermite interpolant on [0, w] at w·τ from values and slopes at both ends.
inline double hermite(double tau, double w, double y0, double d0, double y1, double d1) noexcept {
    const double u = 1.0 - tau;
    return y0 * (u * u * (1.0 + 2.0 * tau)) + w * d0 * (tau * u * u) + y1 * (tau * tau * (3.0 - 2.0 * tau)) -
           w * d1 * (tau * tau * u);
}

// One Householder step of fourth order on g with g′ = ±1/bracket, from the
// Newton step ν and γ = g″/g′, δ = g‴/g′.
inline double householder(double nu, double gamma, double delta) noexcept {
    return nu * (1.0 + 0.5 * gamma * nu) / (1.0 + nu * (gamma + delta * nu / 6.0));
}

constexpr int kMaxRounds = 12;
// A step this small leaves an error of the order of its fourth power.
constexpr double kStepTolerance = 1e-5;

struct Solved {
    double s;
    bool converged;
};

// s with b(x, s) = beta, for x < 0, β below b_c = b(x, s_c).
// n_c = N(−z_c), z_c = √(|x|/6), and e12 = e^{−|x|/12} = √(2π)·n(z_c) come from the caller.
Solved solve_lower(double x, double beta, double b_max, double s_c, double b_c, double n_c, double e12) noexcept {
    const double ax = -x;
    // Start: f(s) = c·N(−|x|/(√3 s))³, c = 2π|x|/(3√3), shares b's asymptote at
    // s → 0 (f/b → 1); interpolate f over b ∈ [0, b_c] and invert it.
    const double c = kTwoPiOver3Sqrt3 * ax;
    const double z_c = std::sqrt(ax / 6.0);
    const double v_c = b_max * kInvSqrt2Pi;
    const double f_c = c * n_c * n_c * n_c;
    const double df_c = 3.0 * c * n_c * n_c * (e12 * kInvSqrt2Pi) * (z_c / s_c) / v_c;
    const double f = hermite(beta / b_c, b_c, 0.0, 1.0, f_c, df_c);
    double s = 0.5 * s_c;
    if (f > 0.0 && f < f_c) {
        const double z = -inverse_norm_cdf_lower(std::cbrt(f / c));
        s = std::min(ax / (kSqrt3 * z), s_c);
    }

    const double ln_beta = std::log(beta);
    double lo = 0.0, hi = s_c;
    for (int round = 0; round < kMaxRounds; ++round) {
        const double inv_s = 1.0 / s;
        const double h = x * inv_s, t = 0.5 * s;
        const double h2 = h * h, t2 = t * t;
        double ln_b, rho, inv_rho;  // ln b, ∂ln b/∂s and its reciprocal
        if (h + t < 0.85) {
            const double B = lower_bracket(h, t);
            ln_b = std::log(B) - 0.5 * (h2 + t2) - kHalfLn2Pi;
            rho = 1.0 / B;
            inv_rho = B;
        } else {
            const double vega = kInvSqrt2Pi * std::exp(-0.5 * (h2 + t2));
            const double b = b_max - vega * upper_bracket(h, t);
            ln_b = std::log(b);
            rho = vega / b;
            inv_rho = b / vega;
        }
        const double g = ln_b - ln_beta;
        if (g > 0.0) hi = s; else lo = s;
        if (g == 0.0) return {s, true};
        const double l1 = (h2 - t2) * inv_s;  // ∂ln(∂b/∂s)/∂s
        const double l1p = -(3.0 * h2 + t2) * (inv_s * inv_s);
        const double gamma = l1 - rho;
        const double delta = l1 * l1 + l1p - 3.0 * rho * l1 + 2.0 * rho * rho;
        const double step = householder(-g * inv_rho, gamma, delta);
        const double next = s + step;
        // A step below the tolerance ends the search even where it rounds onto
        // the end of the bracket that s itself has just become.
        if (std::fabs(step) <= kStepTolerance * s && next >= lo && next <= hi) return {next, true};
        if (next > lo && next < hi) {
            s = next;
        } else {
            s = 0.5 * (lo + hi);
        }
        if (hi - lo <= 4e-16 * hi) return {s, true};
    }
    return {s, false};
}

// s with b_max − b(x, s) = gap, for x ≤ 0, the gap below b_max − b_c.
// u_c = N(−s_c/2) and e4 = e^{−|x|/4} = √(2π)·n(s_c/2) come from the caller.
Solved solve_upper(double x, double gap, double s_c, double g_c, double e4, double u_c) noexcept {
    // Start: u(s) = N(−s/2), since b_max − b → 2N(−s/2) as s → ∞; interpolate u
    // over the gap ∈ [0, b_max − b_c] and invert it.
    const double u = hermite(std::min(gap / g_c, 1.0), g_c, 0.0, 0.5, u_c, 0.5 / e4);
    double s = std::max(s_c, 1.0);
    if (u > 0.0 && u < 0.5) s = std::max(-2.0 * inverse_norm_cdf_lower(u), s_c);

    const double ln_gap = std::log(gap);
    double lo = s_c, hi = kInf;
    for (int round = 0; round < kMaxRounds; ++round) {
        const double inv_s = 1.0 / s;
        const double h = x * inv_s, t = 0.5 * s;
        const double h2 = h * h, t2 = t * t;
        double ln_g, rho, inv_rho;  // ln(b_max − b), −∂/∂s of it and its reciprocal
        if (h + t > -8.0) {
            const double C = upper_bracket(h, t);
            ln_g = std::log(C) - 0.5 * (h2 + t2) - kHalfLn2Pi;
            rho = 1.0 / C;
            inv_rho = C;
        } else {
            const double vega = kInvSqrt2Pi * std::exp(-0.5 * (h2 + t2));
            const double complement = std::exp(0.5 * x) - vega * lower_bracket(h, t);
            ln_g = std::log(complement);
            rho = vega / complement;
            inv_rho = complement / vega;
        }
        const double g = ln_g - ln_gap;
        if (g < 0.0) hi = s; else lo = s;
        if (g == 0.0) return {s, true};
        const double l1 = (h2 - t2) * inv_s;
        const double l1p = -(3.0 * h2 + t2) * (inv_s * inv_s);
        const double gamma = l1 + rho;
        const double delta = l1 * l1 + l1p + 3.0 * rho * l1 + 2.0 * rho * rho;
        const double step = householder(g * inv_rho, gamma, delta);
        const double next = s + step;
        // A step below the tolerance ends the search even where it rounds onto
        // the end of the bracket that s itself has just become.
        if (std::fabs(step) <= kStepTolerance * s && next >= lo && next <= hi) return {next, true};
        if (next > lo && next < hi) {
            s = next;
        } else {
            s = hi == kInf ? 2.0 * s : 0.5 * (lo + hi);
        }
        if (hi - lo <= 4e-16 * hi) return {s, true};
    }
    return {s, false};
}

}  // namespace

double erfcx(double x) noexcept {
    if (!(x < -1.0)) return erfcx_main(x);
    if (x < -26.7) return kInf;  // e^{x²} overflows
    // 2e^{x²} − erfcx(−x), with x² split exactly into hi + lo (Dekker).
    const double split = 134217729.0 * x;
    const double xh = split - (split - x), xl = x - xh;
    const double hi = x * x;
    const double lo = ((xh * xh - hi) + 2.0 * xh * xl) + xl * xl;
    const double e = std::exp(hi);
    return (2.0 * e + 2.0 * e * lo) - erfcx_main(-x);
}

ImpliedVolatility black_implied_vol(double price, OptionType type, double S, double K, double T, double r,
                                    double q) noexcept {
    if (!(std::isfinite(price) && std::isfinite(S) && std::isfinite(K) && std::isfinite(T) && std::isfinite(r) &&
          std::isfinite(q)) ||
        !(S > 0.0) || !(K > 0.0)) {
        return {kNaN, ElementStatus::InvalidInput};
    }
    if (!(T > 0.0)) return {kNaN, ElementStatus::Expired};
    const double spot_value = S * std::exp(-q * T);
    const double strike_value = K * std::exp(-r * T);
    const bool call = type == OptionType::Call;
    const double forward_intrinsic = call ? spot_value - strike_value : strike_value - spot_value;
    const double intrinsic = std::max(forward_intrinsic, 0.0);
    const double upper = call ? spot_value : strike_value;
    if (price < intrinsic) return {kNaN, ElementStatus::BelowIntrinsic};
    if (price >= upper) return {kNaN, ElementStatus::AboveUpperBound};
    if (price == intrinsic) return {0.0, ElementStatus::Ok};

    // The normalised frame; the scale √(S e^{−qT}·K e^{−rT}) taken as a product of
    // roots so that it neither overflows nor underflows.
    double x = std::log(S / K) + (r - q) * T;
    if (!std::isfinite(x)) x = (std::log(S) - std::log(K)) + (r - q) * T;
    const double scale = std::sqrt(spot_value) * std::sqrt(strike_value);
    const double ax = std::fabs(x);
    const double e4 = std::exp(-0.25 * ax);
    const double b_max = e4 * e4;
    if (!(scale > 0.0 && scale < kInf && b_max > 0x1p-1000)) return {kNaN, ElementStatus::NotConverged};
    // Out of the money: the quote less its intrinsic value; its distance from the
    // bound no volatility reaches is upper − price in either case.
    const double beta = (forward_intrinsic > 0.0 ? price - forward_intrinsic : price) / scale;
    const double gap = (upper - price) / scale;

    // s_c = √(2|x|): b(s_c) = b_max·(1 − erfcx(√|x|))/2, ∂b/∂s(s_c) = b_max/√(2π).
    // Both sides' starting data are worked out before the choice between them,
    // which depends on them, so that their latencies overlap.
    const double root = std::sqrt(ax);
    const double s_c = kSqrt2 * root;
    const double erfcx_c = erfcx(root);
    const double u_c = 0.5 * e4 * erfcx(0.5 * root);
    const double e12 = std::exp(-ax / 12.0);
    const double n_c = 0.5 * e12 * erfcx(root * kInvSqrt12);
    const double b_c = 0.5 * b_max * (1.0 - erfcx_c);
    const Solved solved = beta < b_c ? solve_lower(-ax, beta, b_max, s_c, b_c, n_c, e12)
                                     : solve_upper(-ax, gap, s_c, 0.5 * b_max * (1.0 + erfcx_c), e4, u_c);
    const double sigma = solved.s / std::sqrt(T);
    if (!solved.converged || !(sigma > 0.0 && sigma < kInf)) return {kNaN, ElementStatus::NotConverged};
    return {sigma, ElementStatus::Ok};
}

}  // namespace vorel
