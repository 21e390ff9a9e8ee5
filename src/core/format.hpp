#pragma once
// Numbers in messages: the shortest decimal that reads back to the same double,
// positional, never with an exponent; integral values carry no decimal point.
// 25.0 -> "25", 1e-7 -> "0.0000001", -0.0 -> "-0"; "NaN", "inf", "-inf".

#include <string>

namespace vorel {

std::string format_shortest(double value);

// Fixed point with exactly `digits` decimals, correctly rounded from the exact
// value (ties to even); "NaN", "inf", "-inf".
std::string format_fixed(double value, int digits);

}  // namespace vorel
