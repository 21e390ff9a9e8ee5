#pragma once
// The error function, the exponential it uses and the logarithm, evaluated
// with fixed coefficients and a fixed order of operations so that every
// platform gets the same bits (the platform's libm differs between systems and versions). Keep
// floating-point contraction off for the translation unit that defines them.

namespace vorel::portable {

// e^x, within 1 ulp.
double exp(double x) noexcept;

// The natural logarithm, within 1 ulp; −inf at ±0, NaN below 0 and for NaN.
double log(double x) noexcept;

// The error function, within 1 ulp; odd; ±1 at and beyond |x| = 6; NaN for NaN.
double erf(double x) noexcept;

}  // namespace vorel::portable
