#include "loader.hpp"

#include <pybind11/eval.h>

#include <string>

#include "stored_text.hpp"

namespace py = pybind11;

namespace lumq {

py::object load_model(const ModelRecord &record, const py::object &arg) {
    // A dict, or an instance of a dict subclass, is the namespace itself.
    // pybind11's converting constructor calls the built-in dict on anything
    // else, copying a mapping or an iterable of pairs into a new dict; an
    // error of that call propagates before anything runs.
    py::dict ns(arg);

    const std::string text = stored_text::decode(record.fragments);

    // The calling frame's globals (PyEval_GetFrameGlobals), or __main__'s
    // when no Python frame runs, as in an atexit handler.
    py::dict globals = py::globals();

    // If the text object cannot be made: the pending Python error, or
    // RuntimeError "Could not allocate string object!" when none is pending.
    py::str source(text.data(), text.size());

    // PyRun_StringFlags(Py_file_input) on "# -*- coding: utf-8 -*-\n" + text,
    // with the namespace as locals, so the class statement binds its name
    // there; the coding line shifts line numbers in tracebacks by one.
    py::exec(source, globals, ns);

    // Generic item lookup (PyObject_GetItem): KeyError if nothing was bound.
    return ns[py::str(record.class_name)];
}

}  // namespace lumq
