#pragma once
// The finite-difference engine run on several options in lock-step: their
// grids, operators, factorisations and states are interleaved node by node, so
// that each arithmetic operation of the march acts on all of them at once. Each
// option keeps its own grid, step lengths and factorisations and goes through
// exactly the operations price_fdm does, in its order, so that its result is
// the same to the bit; only the set-up of the grids (the map's transcendental
// functions), the cash dividends and the read-out (all but its curvature
// sweep, which runs on the lanes) go one option at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "core/error.hpp"
#include "instruments/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "math/simd.hpp"
#include "methods/finite_difference/fdm_config.hpp"
#include "orchestration/fdm.hpp"

namespace vorel {

// One option's pricing: the arguments of price_fdm besides the dividends and
// the settings, which a group shares.
struct FdmLane {
    const VanillaOption* option;
    const FdmSchedule* schedule;
    double spot;
    double sigma;
    double r;
    double q;
};

// How many options the widest kernel of a level prices at once (16 for
// AVX-512, 8 for AVX2 and for the portable one: two or four vectors marched
// side by side), and the width at simd::level(). price_fdm_lanes groups up to
// that many; a smaller group runs on the level's narrowest kernel that holds it.
std::size_t fdm_lane_width(simd::Level level) noexcept;
std::size_t fdm_lane_width() noexcept;

// Whether lane `b` can run in lock-step with lane `a` under `config`: both
// ordinary (finite spot, σ, r, q, strike and payments, σ > 0, a positive finite
// time to expiry, at least 3 nodes), the same exercise style (and, for
// American exercise, the same option type), the same number of stops and the
// same number of steps in each interval. price_fdm_lanes prices a lane that
// matches no other, or is not ordinary, with price_fdm.
bool fdm_lanes_match(const FdmLane& a, const FdmLane& b, const FdmConfig& config) noexcept;

// Storage that a pricing reuses from one call to the next: it grows to the
// largest group and node count it has met.
class FdmLaneWorkspace {
public:
    FdmLaneWorkspace() noexcept;
    ~FdmLaneWorkspace();
    FdmLaneWorkspace(FdmLaneWorkspace&&) noexcept;
    FdmLaneWorkspace& operator=(FdmLaneWorkspace&&) noexcept;

    struct Storage;

private:
    friend struct FdmLaneAccess;
    std::unique_ptr<Storage> storage_;
};

// Prices every lane: out[i] equals, bit for bit in every field and in the
// error, what price_fdm(*lanes[i].option, dividends, *lanes[i].schedule, config,
// spot, σ, r, q) returns; an interrupt (core/interrupt.hpp) gives
// Error::interrupted() to every lane of the group under way and those after
// it. Lanes are taken in order into groups of up to the kernel's width that
// match their first; `out` holds one result per lane. Panics as price_fdm does
// (a schedule made for other dividends, fewer than 3 nodes, ...), for the lane
// that would.
void price_fdm_lanes(std::span<const FdmLane> lanes, std::span<const Dividend> dividends, const FdmConfig& config,
                     std::span<Result<PricingResult>> out, FdmLaneWorkspace& workspace);
// The same on the kernel of a given level, which this machine must support
// (panics otherwise): how tests reach every kernel.
void price_fdm_lanes(simd::Level kernel, std::span<const FdmLane> lanes, std::span<const Dividend> dividends,
                     const FdmConfig& config, std::span<Result<PricingResult>> out, FdmLaneWorkspace& workspace);

}  // namespace vorel
