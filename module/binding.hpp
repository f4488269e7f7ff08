// pybind11, for every translation unit of the module.
//
// The module is built for one CPython version (3.10 to 3.13), and its version
// check, in PyInit_lumq_spell_base, refuses every other.  Loading the file
// must not fail before the check runs, so the interpreter functions that
// pybind11 2.13 calls on some versions only are weak references: they stay
// null where the running interpreter lacks them instead of failing the load.
// They are called only once the check has passed, that is under the version
// they come from.
#pragma once

// 3.13 and later
#pragma weak PyThreadState_GetUnchecked
#pragma weak PyEval_GetFrameGlobals
#pragma weak PyEval_GetFrameLocals
#pragma weak PyDict_GetItemStringRef
#pragma weak PyObject_VisitManagedDict
#pragma weak PyObject_ClearManagedDict
// 3.11 and later
#pragma weak PyCode_GetVarnames
// 3.12 and earlier
#pragma weak _PyThreadState_UncheckedGet

#include <pybind11/pybind11.h>
