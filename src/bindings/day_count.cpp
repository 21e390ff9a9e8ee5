// DayCountConvention and its two constant namespaces, Thirty360 and ActAct.

#include <string>
#include <string_view>

#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

struct NamespaceClass {};  // Thirty360 and ActAct have no instances

std::string repr(const DayCountConvention& convention) {
    return "<DayCountConvention: " + convention.debug_text() + ">";
}

// The conventions Python can name: each one exists once, as the attribute
// `path` of DayCountConvention ("ACT_360", "THIRTY_360.US_ISDA").
struct Constant {
    const char* path;
    DayCountConvention value;
};

const Constant kConstants[] = {
    {"ACT_360", DayCountConvention::actual_360()},
    {"ACT_365_FIXED", DayCountConvention::actual_365_fixed()},
    {"THIRTY_360.US_ISDA", DayCountConvention::thirty_360(Thirty360Kind::UnitedStatesIsda)},
    {"THIRTY_360.GERMAN_ISDA", DayCountConvention::thirty_360(Thirty360Kind::GermanIsda)},
    {"THIRTY_360.EUROBOND_ISMA", DayCountConvention::thirty_360(Thirty360Kind::EurobondIsma)},
    {"ACT_ACT.ISDA", DayCountConvention::actual_actual(ActActKind::Isda)},
};

// A class that only holds the constants whose path starts with `prefix` and a dot.
PyRef create_namespace(const char* name, PyTypeObject* convention_type, std::string_view prefix) {
    PyRef type = create_class({name, "", sizeof(Object<NamespaceClass>), dealloc<NamespaceClass>});
    if (!type) return {};
    for (const Constant& constant : kConstants) {
        const std::string_view path = constant.path;
        if (!path.starts_with(prefix) || path.size() <= prefix.size() || path[prefix.size()] != '.') continue;
        const char* member = constant.path + prefix.size() + 1;
        if (!add_class_attribute(type, member, make_instance(convention_type, constant.value))) return {};
    }
    return type;
}

TypeSlot g_thirty_360;
TypeSlot g_act_act;

// The conventions and the classes that group them, set on the new class.
bool add_constants(const PyRef& type) {
    PyTypeObject* thirty_360 =
        g_thirty_360.get([&] { return create_namespace("builtins.Thirty360", as_type(type), "THIRTY_360"); });
    PyTypeObject* act_act = g_act_act.get([&] { return create_namespace("builtins.ActAct", as_type(type), "ACT_ACT"); });
    if (thirty_360 == nullptr || act_act == nullptr ||
        !add_class_attribute(type, "THIRTY_360", PyRef::borrow(reinterpret_cast<PyObject*>(thirty_360))) ||
        !add_class_attribute(type, "ACT_ACT", PyRef::borrow(reinterpret_cast<PyObject*>(act_act)))) {
        return false;
    }
    for (const Constant& constant : kConstants) {
        if (std::string_view(constant.path).find('.') != std::string_view::npos) continue;
        if (!add_class_attribute(type, constant.path, make_instance(as_type(type), constant.value))) return false;
    }
    return true;
}

using Declared = Class<DayCountConvention, "DayCountConvention">;

PyRef create() {
    return Declared::create<Declared::repr<repr>, Declared::attributes<add_constants>, Declared::pickled>();
}

}  // namespace

VOREL_CLASS_OBJECT(DayCountConvention, create)

// A convention is pickled by the path of its constant.
template <>
PyRef pickled_state<DayCountConvention>(const DayCountConvention& convention) {
    for (const Constant& constant : kConstants) {
        if (constant.value == convention) return member_state(constant.path);
    }
    raise(PyExc_TypeError, "cannot pickle a day-count convention that has no constant");
    return {};
}

template <>
PyRef unpickle<DayCountConvention>(PyObject* state) {
    return member_from_state(state, type_object<DayCountConvention>());
}

}  // namespace vorel::py
