// The module's entry point and its class registry.

#include <atomic>
#include <cstdint>
#include <string>

#include "bindings/batch.hpp"
#include "bindings/classes.hpp"
#include "bindings/frame.hpp"
#include "bindings/globals.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

using RegisteredClass = PyTypeObject* (*)();

// Registration order; the module's __all__ lists the classes' names in this
// order. Each class is bound to the module by the name its declaration gives.
const RegisteredClass kRegistry[] = {
    type_object<Compounding>,
    type_object<DayCountConvention>,
    type_object<Frequency>,
    type_object<InterestRate>,
    type_object<VanillaOption>,
    type_object<MarketFrame>,
    type_object<Tenor>,
    type_object<RateCurve>,
    type_object<VolSurface>,
    type_object<FdmConfig>,
    type_object<SharedConfig>,
    type_object<OptionType>,
    type_object<ExerciseStyle>,
    type_object<ValuationBuilder>,
    type_object<OptionResult>,
    type_object<Greeks>,
    type_object<InstrumentPolicy>,
    type_object<PeriodCalculatorClass>,
    type_object<DividendSchedule>,
    type_object<TransformConfig>,
};

PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT, "vorel", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The interpreter that first initialised the module; -1 until then.
std::atomic<std::int64_t> g_interpreter{-1};
std::atomic<PyObject*> g_module{nullptr};

bool add_class(PyObject* module, RegisteredClass entry) {
    PyTypeObject* type = entry();
    if (type == nullptr) return false;
    PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
    if (!name) return false;
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    if (PyList_Append(all.get(), name.get()) < 0) return false;
    return PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(type)) == 0;
}

// Why an interpreter other than the one that holds the module cannot import it.
std::string refusal(std::int64_t holder) {
    constexpr std::int64_t kMain = 0;  // the main interpreter's identifier
    if (holder == kMain) {
        return "vorel does not support sub-interpreters: it is loaded in the main interpreter, and can be imported "
               "in one interpreter per process only";
    }
    return "vorel is loaded in sub-interpreter " + std::to_string(holder) +
           ", and can be imported in one interpreter per process only: no other interpreter, the main one "
           "included, can import it";
}

PyRef initialise() {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter == -1) return {};
    std::int64_t recorded = -1;
    if (!g_interpreter.compare_exchange_strong(recorded, interpreter) && recorded != interpreter) {
        raise(PyExc_ImportError, refusal(recorded));
        return {};
    }
    if (PyObject* cached = g_module.load(std::memory_order_acquire)) return PyRef::borrow(cached);

    if (!init_globals()) return {};
    PyRef module = PyRef::steal(PyModule_Create(&g_definition));
    if (!module) return {};
    for (const RegisteredClass entry : kRegistry) {
        if (!add_class(module.get(), entry)) return {};
    }
    // Not listed in __all__, which names the classes; here so that users can
    // catch it by name and unpickling finds it.
    PyObject* panic = panic_exception_type();
    if (panic == nullptr || PyModule_AddObjectRef(module.get(), "PanicException", panic) < 0) return {};
    // The kernels of vorel.batch, reached through sys.modules and never an
    // attribute of the package.
    if (!create_batch_module()) return {};
    // What unpickling calls, likewise reached through sys.modules only.
    if (!create_pickle_module()) return {};
    PyObject* expected = nullptr;
    if (!g_module.compare_exchange_strong(expected, module.get(), std::memory_order_acq_rel)) {
        return PyRef::borrow(expected);
    }
    PyRef result = PyRef::borrow(module.get());
    module.release();  // the cache owns this reference for the life of the process
    return result;
}

}  // namespace
}  // namespace vorel::py

PyMODINIT_FUNC PyInit_vorel(void) {
    return vorel::py::run_frame(vorel::py::initialise);
}
