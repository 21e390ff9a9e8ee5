#pragma once
// What ValuationBuilder and ImpliedVolBuilder share: construction from an
// option, the methods recording the market frame, the valuation time and the
// configuration, and the reading of those inputs when they compute.
//
// The recording methods change the builder under an exclusive borrow, taken
// before their argument is converted (a conversion may run Python code that
// calls back into the builder); they record only once it converted.

#include <memory>
#include <optional>

#include "bindings/classes.hpp"
#include "bindings/datetime.hpp"
#include "bindings/frame.hpp"
#include "bindings/parameter.hpp"
#include "bindings/unlocked.hpp"
#include "core/period/instant.hpp"
#include "execution/pricing_policy.hpp"
#include "market/market_frame.hpp"

namespace vorel::py {

// A builder of type B for `option` with nothing else recorded.
template <class B>
B builder_for(PyObject* option) {
    B builder;
    builder.inputs.instrument = PyRef::borrow(option);
    return builder;
}

// B(instrument).
template <class B>
B construct_builder(Instance<VanillaOption> instrument) {
    return builder_for<B>(instrument.object.get());
}

// market(market_frame): a reference to an OptionMarketFrame; None is refused.
template <class B>
void record_market(B& builder, Instance<MarketFrame> frame) {
    builder.inputs.market = std::move(frame.object);
}

// at(valuation_time=None): an aware datetime, or absent to read the clock.
template <class B>
void record_valuation_time(B& builder, std::optional<AwareTime<sites::kEvaluationTime>> time) {
    builder.inputs.valuation_time.reset();
    if (time) builder.inputs.valuation_time = time->instant;
}

// config(config=None): a reference to a Config, or absent for the default.
template <class B>
void record_config(B& builder, std::optional<Instance<SharedConfig>> config) {
    builder.inputs.config = config ? std::move(config->object) : PyRef();
}

// The members both builders declare, in the class declaration `Declared` of
// builder B: the constructor and the three recording methods.
template <class B, class Declared>
struct BuilderMembers {
    using Construct = typename Declared::template constructor<construct_builder<B>, "instrument">;
    using Market = typename Declared::template method<"market", record_market<B>, "market_frame">;
    using At = typename Declared::template method<"at", record_valuation_time<B>, "valuation_time">;
    using WithConfig = typename Declared::template method<"config", record_config<B>, "config">;
};

// The recorded inputs as they are pickled: (option, market frame or None,
// Config or None, valuation instant or None), the objects themselves, then
// `more` (null: nothing more).
PyRef inputs_state(const BuilderInputs& inputs, PyRef more = {});
// The inputs from the first four items of a builder's state.
std::optional<BuilderInputs> inputs_from_state(PyObject* const* items);

// The inputs as a computation reads them: the option under a shared borrow
// held for the computation, the market record and the method table taken
// under short shared borrows.
struct ComputeInputs {
    Borrow<VanillaOption, Access::Shared> option;
    std::shared_ptr<const MarketFrameData> market;
    std::shared_ptr<const Config> config;  // null: the default configuration

    const Config& table() const { return config ? *config : default_config(); }
};

// Fails with ValueError `missing_market` when no market frame is recorded.
std::optional<ComputeInputs> compute_inputs(const BuilderInputs& inputs, const char* missing_market);

// Whether the option is priced by finite differences: work long enough to be
// done without the interpreter lock (bindings/unlocked.hpp).
bool runs_long(const ComputeInputs& inputs);

// The engines' interrupt poll (core/interrupt.hpp) while compute() or
// calculate() runs under the lock: the interpreter's signal handlers run,
// Ctrl-C's raising KeyboardInterrupt, and the work stops once one of them raised.
bool signal_raised() noexcept;

// Runs `work` (touching no Python object) under the engines' interrupt poll:
// without the interpreter lock when `long_running`, under it otherwise.
template <class Work>
auto run_interruptible(bool long_running, const Work& work) {
    if (long_running) {
        const Unlocked unlocked;
        return work();
    }
    const InterruptScope interruptible(signal_raised);
    return work();
}

}  // namespace vorel::py
