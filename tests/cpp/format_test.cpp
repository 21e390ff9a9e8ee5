#include <cstdlib>
#include <limits>

#include "core/format.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

TEST(Format, ShortestPositional) {
    using L = std::numeric_limits<double>;
    const struct { double value; const char* text; } cases[] = {
        {25.0, "25"}, {0.1, "0.1"}, {1e-7, "0.0000001"}, {-0.0, "-0"}, {-2.5, "-2.5"}, {1e21, "1000000000000000000000"},
        {0.30000000000000004, "0.30000000000000004"}, {123456789.125, "123456789.125"},
        {L::quiet_NaN(), "NaN"}, {L::infinity(), "inf"}, {-L::infinity(), "-inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_shortest(c.value), c.text);

    // The extremes must fit and read back unchanged.
    for (double v : {L::max(), -L::max(), L::denorm_min(), -L::denorm_min()}) {
        const std::string text = format_shortest(v);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
        EXPECT_EQ(text.find('e'), std::string::npos);
    }
}

TEST(Format, FixedDecimalsRoundTheExactValueTiesToEven) {
    using L = std::numeric_limits<double>;
    EXPECT_EQ(format_fixed(1.03125, 4), "1.0312");  // exact ties
    EXPECT_EQ(format_fixed(1.09375, 4), "1.0938");
    EXPECT_EQ(format_fixed(0.30000000000000004, 4), "0.3000");
    EXPECT_EQ(format_fixed(-L::max(), 4).size(), 315u);
    EXPECT_EQ(format_fixed(L::quiet_NaN(), 4), "NaN");
    EXPECT_EQ(format_fixed(-L::infinity(), 4), "-inf");
}

}  // namespace
}  // namespace vorel
