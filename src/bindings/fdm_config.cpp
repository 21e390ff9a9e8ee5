// FdmConfig(time_steps, grid_nodes, grid_std_devs, transform), every setting
// optional, and the TransformConfig it takes, built by its static methods.

#include "bindings/arguments.hpp"
#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

PyObject* construct_fdm_config(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<4> signature{
            "FdmConfig.__new__", {"time_steps", "grid_nodes", "grid_std_devs", "transform"}, 0};
        VOREL_LET(bound, bind(signature, args, kwargs));
        const FdmConfig defaults;
        VOREL_LET(time_steps, named("time_steps", convert_or(bound[0], defaults.time_steps, to_u64)));
        VOREL_LET(grid_nodes, named("grid_nodes", convert_or(bound[1], defaults.grid_nodes, to_u64)));
        VOREL_LET(grid_std_devs, named("grid_std_devs", convert_or(bound[2], defaults.grid_std_devs, to_f64)));
        VOREL_LET(transform,
                  named("transform", convert_or(bound[3], defaults.transform, extract<TransformConfig>)));
        // The node count is made odd by setting its lowest bit (the default already is).
        return make_instance(type, FdmConfig{transform, grid_nodes | 1, time_steps, grid_std_devs});
    });
}

PyMethodDef g_fdm_methods[] = {kReduceMethod, kEndOfMethods};

PyRef create_fdm_config() {
    return create_class({"builtins.FdmConfig",
                         "FdmConfig(time_steps=None, grid_nodes=None, grid_std_devs=None, transform=None)\n--\n\n",
                         sizeof(Object<FdmConfig>), dealloc<FdmConfig>, construct_fdm_config, nullptr, nullptr,
                         g_fdm_methods});
}

PyObject* log_map(PyObject*, PyObject*) {
    return run_frame([] { return wrap(TransformConfig::log()); });
}

PyObject* sinh_map(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<1> signature{"TransformConfig.sinh", {"alpha"}};
        VOREL_LET(bound, bind(signature, args, nargs, kwnames));
        VOREL_LET(alpha, named("alpha", to_f64(bound[0])));
        return wrap(TransformConfig::sinh(alpha));
    });
}

PyMethodDef g_transform_methods[] = {
    static_method("log", log_map, "log()\n--\n\n"),
    static_method("sinh", sinh_map, "sinh(alpha)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create_transform_config() {
    return create_class({"builtins.TransformConfig", "", sizeof(Object<TransformConfig>), dealloc<TransformConfig>,
                         nullptr, nullptr, nullptr, g_transform_methods});
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
    return wrap(FdmConfig{transform, grid_nodes | 1, time_steps, grid_std_devs});  // odd, as the constructor makes it
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
