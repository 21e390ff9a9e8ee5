#include "bindings/execution/builder.hpp"

namespace vorel::py {

std::optional<ComputeInputs> compute_inputs(const BuilderInputs& inputs, const char* missing_market) {
    if (!inputs.market) {
        raise(PyExc_ValueError, missing_market);
        return std::nullopt;
    }
    VOREL_LET(option, (borrow<VanillaOption, Access::Shared>(inputs.instrument.get())));
    std::shared_ptr<const MarketFrameData> market;
    {
        VOREL_LET(frame, (borrow<MarketFrame, Access::Shared>(inputs.market.get())));
        market = frame->snapshot();
    }
    std::shared_ptr<const Config> config;
    if (inputs.config) {
        VOREL_LET(shared, (borrow<SharedConfig, Access::Shared>(inputs.config.get())));
        config = shared->table;
    }
    return ComputeInputs{std::move(option), std::move(market), std::move(config)};
}

bool signal_raised() noexcept { return PyErr_CheckSignals() != 0; }

}  // namespace vorel::py
