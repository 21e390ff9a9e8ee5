#include "execution/closed_form_lanes.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "math/portable_constants.hpp"

namespace vorel {
namespace {

namespace portable_kernel {
#include "math/simd_lanes.inc"
#include "math/portable_math_lanes.inc"
#include "execution/closed_form_terms.inc"
#include "execution/closed_form_lanes_kernel.inc"
}  // namespace portable_kernel

#if VOREL_SIMD_X86
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2_kernel {
#include "math/simd_lanes.inc"
#include "math/portable_math_lanes.inc"
#include "execution/closed_form_terms.inc"
#include "execution/closed_form_lanes_kernel.inc"
}  // namespace avx2_kernel
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f")
namespace avx512_kernel {
#include "math/simd_lanes.inc"
#include "math/portable_math_lanes.inc"
#include "execution/closed_form_terms.inc"
#include "execution/closed_form_lanes_kernel.inc"
}  // namespace avx512_kernel
#pragma GCC pop_options
#endif

}  // namespace

void price_analytic_lanes(const AnalyticInputs& in, const AnalyticOutputs& out, simd::Level level) noexcept {
    level = std::min(level, simd::detected_level());
#if VOREL_SIMD_X86
    if (level == simd::Level::Avx512) return avx512_kernel::price_all<8>(in, out);
    if (level == simd::Level::Avx2) return avx2_kernel::price_all<4>(in, out);
#endif
    portable_kernel::price_all<2>(in, out);
}

}  // namespace vorel
