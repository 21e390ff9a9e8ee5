// DayCountConvention and its two constant namespaces, Thirty360 and ActAct.

#include <initializer_list>
#include <string>

#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"

namespace vorel::py {
namespace {

struct NamespaceClass {};  // Thirty360 and ActAct have no instances

PyObject* repr(PyObject* self) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(convention, receiver<DayCountConvention>(self));
        const std::string text = "<DayCountConvention: " + convention->debug_text() + ">";
        return from_str(text);
    });
}

struct Constant {
    const char* name;
    DayCountConvention value;
};

// A class that only holds DayCountConvention constants.
PyRef create_namespace(const char* name, PyTypeObject* convention_type, std::initializer_list<Constant> constants) {
    PyRef type = create_class({name, "", sizeof(Object<NamespaceClass>), dealloc<NamespaceClass>});
    if (!type) return {};
    for (const Constant& constant : constants) {
        if (!add_class_attribute(type, constant.name, make_instance(convention_type, constant.value))) return {};
    }
    return type;
}

TypeSlot g_thirty_360;
TypeSlot g_act_act;

PyRef create() {
    PyRef type = create_class({"builtins.DayCountConvention", "", sizeof(Object<DayCountConvention>),
                               dealloc<DayCountConvention>, nullptr, repr});
    if (!type) return {};
    PyTypeObject* thirty_360 = g_thirty_360.get([&] {
        return create_namespace("builtins.Thirty360", as_type(type),
                                {{"US_ISDA", DayCountConvention::thirty_360(Thirty360Kind::UnitedStatesIsda)},
                                 {"GERMAN_ISDA", DayCountConvention::thirty_360(Thirty360Kind::GermanIsda)},
                                 {"EUROBOND_ISMA", DayCountConvention::thirty_360(Thirty360Kind::EurobondIsma)}});
    });
    PyTypeObject* act_act = g_act_act.get([&] {
        return create_namespace("builtins.ActAct", as_type(type),
                                {{"ISDA", DayCountConvention::actual_actual(ActActKind::Isda)}});
    });
    const bool ok =
        thirty_360 != nullptr && act_act != nullptr &&
        add_class_attribute(type, "ACT_360", make_instance(as_type(type), DayCountConvention::actual_360())) &&
        add_class_attribute(type, "ACT_365_FIXED",
                            make_instance(as_type(type), DayCountConvention::actual_365_fixed())) &&
        add_class_attribute(type, "THIRTY_360", PyRef::borrow(reinterpret_cast<PyObject*>(thirty_360))) &&
        add_class_attribute(type, "ACT_ACT", PyRef::borrow(reinterpret_cast<PyObject*>(act_act)));
    if (!ok) return {};
    return type;
}

}  // namespace

VOREL_CLASS_OBJECT(DayCountConvention, create)

}  // namespace vorel::py
