#pragma once
// Vectors of doubles for kernels that work on several options at once, and the
// choice of kernel for this processor.
//
// A kernel is a template over the lane count W, written with these vector
// types (and the operations of math/simd_lanes.inc) so that every operation
// acts on all lanes at once. Additions,
// multiplications, divisions and square roots are exact IEEE operations on
// each lane, so a lane that performs the scalar code's operations in the
// scalar code's order (contraction stays off) gets the scalar code's bits.
// Branches become selects: both sides are worked out and each lane takes its
// own.
//
// The library is built for generic x86-64. A kernel's code is compiled once
// for each instruction set it runs on: the file that holds it includes its
// pieces (the .inc files, which are not headers of their own) once per set,
// each time inside a namespace of its own in an unnamed one, under
// `#pragma GCC target`. Every function of a kernel, template instances
// included, is then compiled for its set (a vector comparison or select in a
// function compiled for less is split into scalar pieces, even once inlined
// into a wider one), and none can stand in for generic code at link time.
// level() says which set's kernel to call.

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && !defined(VOREL_NO_SIMD)
#define VOREL_SIMD_X86 1
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

}  // namespace vorel::simd
