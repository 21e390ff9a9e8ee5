#pragma once
// The one include of the interpreter's C interface. The stable ABI level
// (Py_LIMITED_API) comes from the build.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
