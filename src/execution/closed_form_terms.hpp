#pragma once
// The closed form's formulas for one option at a time, on the portable
// functions (the same bits on every platform) and the exact square root.

#include <cmath>

#include "math/portable_math.hpp"

namespace vorel {

#include "execution/closed_form_terms.inc"

namespace closed_form {

struct ScalarMath {
    static double sqrt(double x) noexcept { return std::sqrt(x); }
    static double log(double x) noexcept { return portable::log(x); }
    static double exp(double x) noexcept { return portable::exp(x); }
    static double erf(double x) noexcept { return portable::erf(x); }
    static double select(bool which, double a, double b) noexcept { return which ? a : b; }
};

}  // namespace closed_form
}  // namespace vorel
