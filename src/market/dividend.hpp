#pragma once
// Discrete cash dividends, kept exactly as the caller listed them: no sorting,
// merging or filtering (the engine picks what falls inside its horizon).

#include <memory>
#include <span>
#include <vector>

#include "core/period/instant.hpp"

namespace vorel {

struct Dividend {
    Instant ex_date;
    double amount = 0.0;  // cash per share; any value, non-finite included
};

// An immutable ordered list of dividends; copies share the entries.
class DividendSchedule {
public:
    DividendSchedule() = default;
    explicit DividendSchedule(std::vector<Dividend> entries)
        : entries_(entries.empty() ? nullptr : std::make_shared<const std::vector<Dividend>>(std::move(entries))) {}

    std::span<const Dividend> entries() const noexcept {
        return entries_ ? std::span<const Dividend>(*entries_) : std::span<const Dividend>();
    }

private:
    std::shared_ptr<const std::vector<Dividend>> entries_;  // null when empty
};

}  // namespace vorel
