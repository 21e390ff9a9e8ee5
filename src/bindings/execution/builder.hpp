#pragma once
// What ValuationBuilder and ImpliedVolBuilder share: construction from an
// option, the methods recording the market frame, the valuation time and the
// configuration, and the reading of those inputs when they compute.
//
// The recording methods take an exclusive borrow of the builder before their
// argument is converted (a conversion may run Python code that calls back into
// the builder) and record only after it converted.

#include <memory>
#include <optional>

#include "bindings/arguments.hpp"
#include "bindings/classes.hpp"
#include "bindings/datetime.hpp"
#include "bindings/frame.hpp"
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
template <class B, const Signature<1>& kSignature>
PyObject* construct_builder(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(bound, bind(kSignature, args, kwargs));
        if (!check_type<VanillaOption>(bound[0])) {
            wrap_argument_error("instrument");
            return {};
        }
        return make_instance(type, builder_for<B>(bound[0]));
    });
}

// A recording method with one parameter: `record(inputs-owner, argument)`
// converts the argument (null when absent) and stores it, or fails.
template <class B, const Signature<1>& kSignature, class Record>
PyObject* record_input(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Record record) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(bound, bind(kSignature, args, nargs, kwnames));
        VOREL_LET(builder, (receiver<B, Access::Exclusive>(self)));
        VOREL_CHECK(record(*builder, bound[0]));
        return PyRef::borrow(self);
    });
}

// market(market_frame): a reference to an OptionMarketFrame; None is refused.
template <class B, const Signature<1>& kSignature>
PyObject* record_market(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_input<B, kSignature>(self, args, nargs, kwnames, [](B& builder, PyObject* frame) {
        if (!check_type<MarketFrame>(frame)) {
            wrap_argument_error("market_frame");
            return false;
        }
        builder.inputs.market = PyRef::borrow(frame);
        return true;
    });
}

// at(valuation_time=None): an aware datetime, or absent to read the clock.
template <class B, const Signature<1>& kSignature>
PyObject* record_valuation_time(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_input<B, kSignature>(self, args, nargs, kwnames, [](B& builder, PyObject* time) {
        if (time == nullptr) {
            builder.inputs.valuation_time.reset();
            return true;
        }
        const std::optional<Instant> instant = instant_via_timestamp(time, "valuation_time", sites::kEvaluationTime);
        if (!instant) return false;
        builder.inputs.valuation_time = instant;
        return true;
    });
}

// config(config=None): a reference to a Config, or absent for the default.
template <class B, const Signature<1>& kSignature>
PyObject* record_config(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_input<B, kSignature>(self, args, nargs, kwnames, [](B& builder, PyObject* config) {
        if (config != nullptr && !check_type<SharedConfig>(config)) {
            wrap_argument_error("config");
            return false;
        }
        builder.inputs.config = PyRef::borrow(config);
        return true;
    });
}

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
