#include "bindings/pickle.hpp"

#include <string>

#include "bindings/arguments.hpp"
#include "bindings/classes.hpp"

namespace vorel::py {

// Enumeration members are pickled by name (their class attribute).
template <>
PyRef pickled_state<Frequency>(const Frequency& member) {
    return member_state(debug_text(member));
}
template <>
PyRef pickled_state<OptionType>(const OptionType& member) {
    return member_state(debug_text(member));
}
template <>
PyRef pickled_state<ExerciseStyle>(const ExerciseStyle& member) {
    return member_state(debug_text(member));
}
template <>
PyRef unpickle<Frequency>(PyObject* state) {
    return member_from_state(state, type_object<Frequency>());
}
template <>
PyRef unpickle<OptionType>(PyObject* state) {
    return member_from_state(state, type_object<OptionType>());
}
template <>
PyRef unpickle<ExerciseStyle>(PyObject* state) {
    return member_from_state(state, type_object<ExerciseStyle>());
}

namespace {

struct PickledClass {
    const char* name;  // the class's name, as the state records it
    PyTypeObject* (*type)();
    PyRef (*state)(PyObject* self);
    PyRef (*load)(PyObject* state);
};

template <class T>
PyRef state_of(PyObject* self) {
    VOREL_LET(value, receiver<T>(self));
    return pickled_state<T>(*value);
}

template <class T>
constexpr PickledClass pickled(const char* name) {
    return {name, type_object<T>, state_of<T>, unpickle<T>};
}

const PickledClass kClasses[] = {
    pickled<Compounding>("Compounding"),
    pickled<DayCountConvention>("DayCountConvention"),
    pickled<Frequency>("Frequency"),
    pickled<InterestRate>("InterestRate"),
    pickled<VanillaOption>("VanillaOption"),
    pickled<MarketFrame>("OptionMarketFrame"),
    pickled<Tenor>("Tenor"),
    pickled<RateCurve>("RateCurve"),
    pickled<VolSurface>("VolSurface"),
    pickled<FdmConfig>("FdmConfig"),
    pickled<SharedConfig>("Config"),
    pickled<OptionType>("OptionType"),
    pickled<ExerciseStyle>("ExerciseStyle"),
    pickled<ValuationBuilder>("ValuationBuilder"),
    pickled<ImpliedVolBuilder>("ImpliedVolBuilder"),
    pickled<OptionResult>("OptionResult"),
    pickled<Greeks>("Greeks"),
    pickled<InstrumentPolicy>("InstrumentPolicy"),
    pickled<DividendSchedule>("DividendSchedule"),
    pickled<TransformConfig>("TransformConfig"),
};

PyObject* g_load = nullptr;  // vorel._pickle.load, kept for the life of the process

// load(format, name, state): the object a reduction describes.
PyObject* load(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<3> signature{"load", {"format", "name", "state"}};
        VOREL_LET(bound, bind(signature, args, nargs, nullptr));
        if (!PyLong_Check(bound[0])) {
            raise_malformed("no format number");
            return {};
        }
        int overflow = 0;
        const long format = PyLong_AsLongAndOverflow(bound[0], &overflow);
        if (format == -1 && PyErr_Occurred()) return {};
        if (overflow != 0 || format != kPickleFormat) {
            if (overflow < 0 || (overflow == 0 && format < 1)) {
                raise_malformed("no format number");
                return {};
            }
            const std::string written = overflow != 0 ? std::string("beyond any") : std::to_string(format);
            raise(PyExc_ValueError, "cannot load a vorel pickle of format " + written + ": it was written by a newer "
                                    "version of vorel, and this version reads format " +
                                    std::to_string(kPickleFormat) + " only");
            return {};
        }
        if (!PyUnicode_Check(bound[1])) {
            raise_malformed("no class name");
            return {};
        }
        Py_ssize_t length = 0;
        const char* name = PyUnicode_AsUTF8AndSize(bound[1], &length);
        if (name == nullptr) return {};
        for (const PickledClass& entry : kClasses) {
            if (std::string_view(name, static_cast<std::size_t>(length)) == entry.name) return entry.load(bound[2]);
        }
        raise(PyExc_ValueError, "malformed vorel pickle: no class named '" + std::string(name, length) + "'");
        return {};
    });
}

PyMethodDef g_functions[] = {
    {"load", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(load)), METH_FASTCALL,
     "load(format, name, state)\n--\n\nThe vorel object a pickle describes."},
    kEndOfMethods,
};

PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT, "vorel._pickle", "What unpickling vorel objects calls.", 0, g_functions,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyObject* reduce(PyObject* self, PyObject*) {
    return run_frame([&]() -> PyRef {
        for (const PickledClass& entry : kClasses) {
            if (Py_TYPE(self) != entry.type()) continue;
            PyRef state = entry.state(self);
            if (!state) return {};
            return tuple_of(PyRef::borrow(g_load), tuple_of(from_i64(kPickleFormat), from_str(entry.name), state));
        }
        raise(PyExc_TypeError, "cannot pickle this vorel object");
        return {};
    });
}

bool create_pickle_module() {
    PyRef module = PyRef::steal(PyModule_Create(&g_definition));
    if (!module) return false;
    PyRef function = PyRef::steal(PyObject_GetAttrString(module.get(), "load"));
    if (!function) return false;
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    if (modules == nullptr || PyDict_SetItemString(modules, "vorel._pickle", module.get()) < 0) return false;
    if (g_load == nullptr) g_load = function.release();
    return true;
}

void raise_malformed(const char* what) { raise(PyExc_ValueError, std::string("malformed vorel pickle: ") + what); }

std::optional<std::uint8_t> code_in(PyObject* object, std::uint8_t count) {
    if (!PyLong_Check(object)) {
        raise_malformed("a code that is not an int");
        return std::nullopt;
    }
    const long code = PyLong_AsLong(object);
    if (code == -1 && PyErr_Occurred()) PyErr_Clear();
    if (code < 0 || code >= count) {
        raise_malformed("a code out of range");
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(code);
}

std::optional<std::uint8_t> state_kind(PyObject* state, std::uint8_t count) {
    if (!PyTuple_Check(state) || PyTuple_Size(state) < 1) {
        raise_malformed("a state of the wrong shape");
        return std::nullopt;
    }
    return code_in(PyTuple_GetItem(state, 0), count);
}

PyRef instant_state(const Instant& instant) {
    return tuple_of(from_i64(instant.date.days_since_epoch()), from_i64(instant.second_of_day),
                    from_i64(instant.nanosecond));
}

std::optional<Instant> instant_from_state(PyObject* object) {
    VOREL_LET(items, state_items<3>(object));
    std::int64_t parts[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!PyLong_Check(items[i])) {
            raise_malformed("a point in time that is not three ints");
            return std::nullopt;
        }
        int overflow = 0;
        parts[i] = PyLong_AsLongLongAndOverflow(items[i], &overflow);
        if (parts[i] == -1 && PyErr_Occurred()) return std::nullopt;
        if (overflow != 0) {
            raise_malformed("a point in time out of range");
            return std::nullopt;
        }
    }
    std::optional<Instant> instant;
    if (const std::optional<Date> date = Date::from_days_since_epoch(parts[0]);
        date && parts[1] >= 0 && parts[1] <= UINT32_MAX && parts[2] >= 0 && parts[2] <= UINT32_MAX) {
        instant = Instant::from_parts(*date, static_cast<std::uint32_t>(parts[1]), static_cast<std::uint32_t>(parts[2]));
    }
    if (!instant) raise_malformed("a point in time out of range");
    return instant;
}

PyRef member_state(std::string_view path) { return tuple_of(from_str(path)); }

PyRef member_from_state(PyObject* state, PyTypeObject* type) {
    if (type == nullptr) return {};
    VOREL_LET(items, state_items<1>(state));
    if (!PyUnicode_Check(items[0])) {
        raise_malformed("a member name that is not a str");
        return {};
    }
    // Each step of the path is an attribute of a class of ours, whose lookup runs no code of the caller's.
    PyRef dot = PyRef::steal(PyUnicode_FromString("."));
    if (!dot) return {};
    PyRef path = PyRef::steal(PyUnicode_Split(items[0], dot.get(), -1));
    if (!path) return {};
    PyRef found = PyRef::borrow(reinterpret_cast<PyObject*>(type));
    const Py_ssize_t steps = PyList_Size(path.get());
    for (Py_ssize_t i = 0; i < steps && found; ++i) {
        PyObject* name = PyList_GetItem(path.get(), i);
        const bool allowed = PyUnicode_GetLength(name) > 0 && PyUnicode_ReadChar(name, 0) != '_';
        found = allowed ? PyRef::steal(PyObject_GetAttr(found.get(), name)) : PyRef();
        if (!found) PyErr_Clear();
    }
    if (!found || !is_instance_of(found.get(), type)) {
        raise_malformed("no such member");
        return {};
    }
    return found;
}

}  // namespace vorel::py
