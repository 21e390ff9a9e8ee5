#include "math/simd.hpp"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace vorel::simd {

Level detected_level() noexcept {
#if VOREL_SIMD_X86
    // The compiler's feature test asks the operating system too: a set whose
    // registers the system does not save counts as absent.
    static const Level detected = __builtin_cpu_supports("avx512f")  ? Level::Avx512
                                  : __builtin_cpu_supports("avx2") ? Level::Avx2
                                                                   : Level::Portable;
    return detected;
#else
    return Level::Portable;
#endif
}

const char* level_name(Level level) noexcept {
    switch (level) {
        case Level::Avx512: return "avx512";
        case Level::Avx2: return "avx2";
        case Level::Portable: break;
    }
    return "portable";
}

Level level() noexcept {
    static const Level chosen = [] {
        const Level detected = detected_level();
        const char* cap = std::getenv("VOREL_SIMD");
        if (cap == nullptr) return detected;
        for (const Level candidate : {Level::Portable, Level::Avx2, Level::Avx512}) {
            if (std::strcmp(cap, level_name(candidate)) == 0) return candidate < detected ? candidate : detected;
        }
        return detected;  // an unknown name caps nothing
    }();
    return chosen;
}

}  // namespace vorel::simd
