#pragma once
// Vectors of doubles for kernels that work on several options at once, and the
// choice of kernel for this processor.
//
// A kernel is a template over the lane count W, written with these vector
// types so that every operation acts on all lanes at once. Additions,
// multiplications, divisions and square roots are exact IEEE operations on
// each lane, so a lane that performs the scalar code's operations in the
// scalar code's order (contraction stays off) gets the scalar code's bits.
// Branches become selects: both sides are worked out and each lane takes its
// own.
//
// The library is built for generic x86-64. A kernel is instantiated inside a
// wrapper function compiled for a wider instruction set (VOREL_SIMD_AVX2,
// VOREL_SIMD_AVX512), which inlines the whole template into itself, and the
// wrapper is called only when level() says the processor has that set. Only
// the wrappers carry a target: any copy of a template the compiler emits on
// its own is generic code, so none compiled for a wider set can stand in for
// it at link time.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && !defined(VOREL_NO_SIMD)
#define VOREL_SIMD_X86 1
#define VOREL_SIMD_AVX2 __attribute__((target("avx2"), flatten))
#define VOREL_SIMD_AVX512 __attribute__((target("avx512f"), flatten))
#else
#define VOREL_SIMD_X86 0
#endif

namespace vorel::simd {

// The instruction sets a kernel may be chosen for, narrowest first.
enum class Level { Portable = 0, Avx2 = 1, Avx512 = 2 };

// The widest level this processor and its operating system support, capped by
// the environment variable VOREL_SIMD ("portable", "avx2" or "avx512") when it
// is set: every level gives the same results, and the cap lets them be
// compared. Read once.
Level level() noexcept;

// The widest level this processor supports, whatever the environment says.
Level detected_level() noexcept;

// The name of a level, as VOREL_SIMD spells it.
const char* level_name(Level level) noexcept;

template <int W>
struct Lanes {
    static_assert(W == 2 || W == 4 || W == 8);
    typedef double D __attribute__((vector_size(8 * W)));
    typedef std::int64_t I __attribute__((vector_size(8 * W)));  // also the mask of a comparison
    typedef std::uint64_t U __attribute__((vector_size(8 * W)));
};

template <int W>
using D = typename Lanes<W>::D;
template <int W>
using I = typename Lanes<W>::I;
template <int W>
using U = typename Lanes<W>::U;

template <int W>
inline D<W> load(const double* p) noexcept {
    D<W> v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <int W>
inline void store(double* p, D<W> v) noexcept {
    std::memcpy(p, &v, sizeof v);
}

template <int W>
inline D<W> broadcast(double x) noexcept {
    return D<W>{} + x;
}

// The same bits as another vector type of the same size.
template <class To, class From>
inline To as(From x) noexcept {
    static_assert(sizeof(To) == sizeof(From));
    return (To)x;  // a cast between vector types keeps the bits
}

template <int W>
inline U<W> bits(D<W> x) noexcept {
    return as<U<W>>(x);
}

template <int W>
inline D<W> from_bits(U<W> x) noexcept {
    return as<D<W>>(x);
}

// The upper 32 bits of each lane's pattern, sign-extended, as a scalar
// reading of the high word into a 32-bit integer gives.
template <int W>
inline I<W> high_word(D<W> x) noexcept {
    return as<I<W>>(x) >> 32;
}

// Whether any lane's mask is set.
template <int W>
inline bool any(I<W> mask) noexcept {
    std::int64_t folded = 0;
    for (int i = 0; i < W; ++i) folded |= mask[i];
    return folded != 0;
}

// Each lane's `a` where its mask is set, else its `b`.
template <int W, class V>
inline V select(I<W> mask, V a, V b) noexcept {
    return mask ? a : b;
}

template <int W>
inline D<W> sqrt(D<W> x) noexcept {
    D<W> r;
    for (int i = 0; i < W; ++i) r[i] = __builtin_sqrt(x[i]);
    return r;
}

// Each lane rounded toward zero, for |x| < 2^51 (other lanes get some value).
template <int W>
inline D<W> trunc_small(D<W> x) noexcept {
    constexpr double kShift = 0x1.8p52;  // adding it leaves the integers of |x| < 2^51 in the low bits
    const D<W> nearest = (x + kShift) - kShift;
    const D<W> down = select<W>(nearest > x, nearest - 1.0, nearest);
    const D<W> up = select<W>(nearest < x, nearest + 1.0, nearest);
    return select<W>(x < 0.0, up, down);
}

// The integer a lane holds (integral, |x| < 2^51), as int64; and back.
template <int W>
inline I<W> to_int(D<W> x) noexcept {
    constexpr double kShift = 0x1.8p52;
    const U<W> offset = bits<W>(x + kShift) - bits<W>(broadcast<W>(kShift));
    return as<I<W>>(offset);
}

template <int W>
inline D<W> to_double(I<W> k) noexcept {
    constexpr double kShift = 0x1.8p52;
    const U<W> shifted = bits<W>(broadcast<W>(kShift)) + as<U<W>>(k);
    return from_bits<W>(shifted) - kShift;
}

}  // namespace vorel::simd
