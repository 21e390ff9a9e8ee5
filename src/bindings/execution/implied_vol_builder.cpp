// ImpliedVolBuilder: the valuation inputs plus a target price, solved for the
// volatility. Reached through VanillaOption.implied_vol(); not a module attribute.

#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/execution/builder.hpp"
#include "bindings/pickle.hpp"
#include "execution/implied_vol.hpp"

namespace vorel::py {
namespace {

void price(ImpliedVolBuilder& builder, double target) { builder.target = target; }

PyRef calculate(const ImpliedVolBuilder& builder) {
    VOREL_LET(inputs, compute_inputs(builder.inputs, "Market data is required for implied volatility solving."));
    const auto solve = [&] {
        return implied_vol_solve(*inputs.option, *inputs.market, builder.inputs.valuation_time, inputs.table(),
                                 builder.target);
    };
    VOREL_LET(vol, unwrap(run_interruptible(runs_long(inputs), solve)));
    return from_f64(vol);
}

using Declared = Class<ImpliedVolBuilder, "ImpliedVolBuilder">;
using Shared = BuilderMembers<ImpliedVolBuilder, Declared>;

PyRef create() {
    return Declared::create<Shared::Construct, Shared::Market, Shared::At, Declared::method<"price", price, "target">,
                            Shared::WithConfig, Declared::method<"calculate", calculate>, Declared::pickled>();
}

}  // namespace

// The recorded inputs, then the target price or None.
template <>
PyRef pickled_state<ImpliedVolBuilder>(const ImpliedVolBuilder& builder) {
    PyRef target = builder.target ? from_f64(*builder.target) : PyRef::borrow(Py_None);
    if (!target) return {};
    return inputs_state(builder.inputs, target);
}

template <>
PyRef unpickle<ImpliedVolBuilder>(PyObject* state) {
    VOREL_LET(items, state_items<5>(state));
    VOREL_LET(inputs, inputs_from_state(items.data()));
    ImpliedVolBuilder builder{std::move(inputs), std::nullopt};
    if (items[4] != Py_None) {
        VOREL_LET(target, to_f64(items[4]));
        builder.target = target;
    }
    return wrap(std::move(builder));
}

VOREL_CLASS_OBJECT(ImpliedVolBuilder, create)

}  // namespace vorel::py
