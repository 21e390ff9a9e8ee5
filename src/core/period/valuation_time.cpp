#include "core/period/valuation_time.hpp"

#include "core/panic.hpp"

namespace vorel {

Instant ValuationTime::to_instant() const {
    switch (tag) {
        case Tag::Date:
            return Instant{date, 0, 0};
        case Tag::Instant:
            return instant;
    }
    panic("not yet implemented");
}

}  // namespace vorel
