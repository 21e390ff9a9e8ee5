#pragma once

#include <cstdint>
#include <string_view>

namespace vorel {

// Compounding periods per year.
enum class Frequency : std::uint8_t { Annual = 1, SemiAnnual = 2, Quarterly = 4, Monthly = 12 };

constexpr unsigned periods_per_year(Frequency f) noexcept { return static_cast<unsigned>(f); }

constexpr std::string_view debug_text(Frequency f) noexcept {
    switch (f) {
        case Frequency::Annual: return "Annual";
        case Frequency::SemiAnnual: return "SemiAnnual";
        case Frequency::Quarterly: return "Quarterly";
        case Frequency::Monthly: return "Monthly";
    }
    return "Annual";
}

}  // namespace vorel
