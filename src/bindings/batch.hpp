#pragma once
// The native kernels of vorel.batch: a module object of its own, `vorel._batch`,
// created with the package and found through sys.modules. The submodule's
// Python code turns what users pass into the plain arrays these take.

#include "bindings/py_ref.hpp"

namespace vorel::py {

// Creates `vorel._batch` and records it in sys.modules; null with an exception set on failure.
PyRef create_batch_module();

}  // namespace vorel::py
