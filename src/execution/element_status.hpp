#pragma once
// What became of one element of a batch: valued or solved, or why not. The
// values are the ones Python sees (vorel.batch.Status).

#include <cstdint>

namespace vorel {

enum class ElementStatus : std::uint8_t {
    Ok = 0,
    InvalidInput = 1,     // a field that is not a finite number, a time that is not one, an unknown kind
    Expired = 2,          // valued at or after the expiry instant
    BelowIntrinsic = 3,   // a quote below the least price any volatility gives
    AboveUpperBound = 4,  // a quote at or above the price no volatility reaches
    NotConverged = 5,     // the search ran out of rounds
    Failed = 6,           // the engine refused the option: what valuing it alone raises
};

}  // namespace vorel
