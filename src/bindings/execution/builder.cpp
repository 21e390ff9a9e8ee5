#include "bindings/execution/builder.hpp"

#include "bindings/pickle.hpp"

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

PyRef inputs_state(const BuilderInputs& inputs, PyRef more) {
    PyRef option = PyRef::borrow(inputs.instrument.get());
    PyRef market = object_or_none(inputs.market.get());
    PyRef config = object_or_none(inputs.config.get());
    PyRef time = inputs.valuation_time ? instant_state(*inputs.valuation_time) : PyRef::borrow(Py_None);
    return more ? tuple_of(option, market, config, time, more) : tuple_of(option, market, config, time);
}

std::optional<BuilderInputs> inputs_from_state(PyObject* const* items) {
    BuilderInputs inputs;
    VOREL_LET(instrument, held_object<VanillaOption>(items[0]));
    VOREL_LET(market, held_object<MarketFrame>(items[1], true));
    VOREL_LET(config, held_object<SharedConfig>(items[2], true));
    inputs.instrument = std::move(instrument);
    inputs.market = std::move(market);
    inputs.config = std::move(config);
    if (items[3] != Py_None) {
        VOREL_LET(instant, instant_from_state(items[3]));
        inputs.valuation_time = instant;
    }
    return inputs;
}

bool runs_long(const ComputeInputs& inputs) {
    return fdm_settings(method_for(inputs.table(), inputs.option->exercise_style, inputs.option->option_type))
        .has_value();
}

bool signal_raised() noexcept { return PyErr_CheckSignals() != 0; }

}  // namespace vorel::py
