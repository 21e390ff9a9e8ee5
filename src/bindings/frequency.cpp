// Frequency: the four compounding frequencies, numbered 0 to 3 in Python.

#include <iterator>

#include "bindings/class_builder.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/frame.hpp"

namespace vorel::py {
namespace {

constexpr Frequency kMembers[] = {Frequency::Annual, Frequency::SemiAnnual, Frequency::Quarterly,
                                  Frequency::Monthly};

long member_number(Frequency frequency) {
    for (long i = 0; i < static_cast<long>(std::size(kMembers)); ++i) {
        if (kMembers[i] == frequency) return i;
    }
    return 0;
}

PyObject* repr(PyObject* self) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(frequency, receiver<Frequency>(self));
        return from_str(debug_text(*frequency));
    });
}

PyObject* to_int(PyObject* self) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(frequency, receiver<Frequency>(self));
        return from_i64(member_number(*frequency));
    });
}

PyObject* get_value(PyObject* self, void*) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(frequency, receiver<Frequency>(self));
        return from_i64(periods_per_year(*frequency));
    });
}

PyGetSetDef g_getset[] = {
    {"value", get_value, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyRef create() {
    PyRef type = create_class({"builtins.Frequency", "", sizeof(Object<Frequency>), dealloc<Frequency>, nullptr,
                               repr, to_int, nullptr, g_getset});
    if (!type) return {};
    for (Frequency member : kMembers) {
        const std::string_view name = debug_text(member);
        if (!add_class_attribute(type, name.data(), make_instance(as_type(type), member))) return {};
    }
    return type;
}

}  // namespace

VOREL_CLASS_OBJECT(Frequency, create)

}  // namespace vorel::py
