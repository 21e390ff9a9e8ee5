// Frequency: the four compounding frequencies, numbered 0 to 3 in Python.

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"
#include "bindings/pickle.hpp"

namespace vorel::py {
namespace {

constexpr Frequency kMembers[] = {Frequency::Annual, Frequency::SemiAnnual, Frequency::Quarterly,
                                  Frequency::Monthly};

std::string repr(Frequency frequency) { return std::string(debug_text(frequency)); }

using Declared = Class<Frequency, "Frequency">;

PyRef create() {
    return Declared::create<Declared::members<kMembers>, Declared::repr<repr>,
                            Declared::get<"value", periods_per_year>, Declared::pickled>();
}

}  // namespace

VOREL_CLASS_OBJECT(Frequency, create)

}  // namespace vorel::py
