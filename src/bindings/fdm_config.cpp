// FdmConfig(time_steps, grid_nodes, grid_std_devs, transform), every setting
// optional, and the TransformConfig it takes, built by its static methods.

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

FdmConfig make_fdm_config(std::optional<std::uint64_t> time_steps, std::optional<std::uint64_t> grid_nodes,
                          std::optional<double> grid_std_devs, std::optional<TransformConfig> transform) {
    const FdmConfig defaults;
    return FdmConfig::with_odd_nodes(transform.value_or(defaults.transform), grid_nodes.value_or(defaults.grid_nodes),
                                     time_steps.value_or(defaults.time_steps),
                                     grid_std_devs.value_or(defaults.grid_std_devs));
}

using FdmConfigClass = Class<FdmConfig, "FdmConfig">;
using TransformClass = Class<TransformConfig, "TransformConfig">;

PyRef create_fdm_config() {
    return FdmConfigClass::create<FdmConfigClass::constructor<make_fdm_config, "time_steps", "grid_nodes",
                                                              "grid_std_devs", "transform">,
                                  FdmConfigClass::pickled>();
}

PyRef create_transform_config() {
    return TransformClass::create<TransformClass::static_method<"log", TransformConfig::log>,
                                  TransformClass::static_method<"sinh", TransformConfig::sinh, "alpha">,
                                  TransformClass::pickled>();
}

}  // namespace

VOREL_CLASS_OBJECT(FdmConfig, create_fdm_config)
VOREL_CLASS_OBJECT(TransformConfig, create_transform_config)

// (transform, grid nodes, time steps, grid half-width in standard deviations).
template <>
PyRef pickled_state<FdmConfig>(const FdmConfig& config) {
    return tuple_of(wrap(config.transform), from_u64(config.grid_nodes), from_u64(config.time_steps),
                    from_f64(config.grid_std_devs));
}

template <>
PyRef unpickle<FdmConfig>(PyObject* state) {
    VOREL_LET(items, state_items<4>(state));
    VOREL_LET(transform, extract<TransformConfig>(items[0]));
    VOREL_LET(grid_nodes, to_u64(items[1]));
    VOREL_LET(time_steps, to_u64(items[2]));
    VOREL_LET(grid_std_devs, to_f64(items[3]));
    return wrap(FdmConfig::with_odd_nodes(transform, grid_nodes, time_steps, grid_std_devs));
}

// (map, alpha): the map's code and its stretch.
template <>
PyRef pickled_state<TransformConfig>(const TransformConfig& transform) {
    return tuple_of(from_i64(static_cast<std::uint8_t>(transform.kind)), from_f64(transform.alpha));
}

template <>
PyRef unpickle<TransformConfig>(PyObject* state) {
    VOREL_LET(items, state_items<2>(state));
    VOREL_LET(kind, code_in(items[0], 2));
    VOREL_LET(alpha, to_f64(items[1]));
    return wrap(TransformConfig{static_cast<TransformKind>(kind), alpha});
}

}  // namespace vorel::py
