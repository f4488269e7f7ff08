// The extension module: its documentation text, one loader per model source
// and the version.  PYBIND11_MODULE supplies the interpreter version check and
// turns an error raised here into ImportError("initialization failed").
#include "binding.hpp"

#include "loader.hpp"
#include "model_records.hpp"

namespace py = pybind11;

namespace {

// Sphinx autosummary stub of the documentation build, kept as it is.
constexpr char module_doc[] =
    "\n"
    "        lumq_spell_base plugin\n"
    "        -----------------------\n"
    "        .. currentmodule:: lumq_spell_base\n"
    "        .. autosummary::\n"
    "           :toctree: _generate\n"
    "           export_spell\n"
    "    ";
static_assert(sizeof module_doc - 1 == 191, "the module documentation text is 191 characters");

}  // namespace

PYBIND11_MODULE(lumq_spell_base, m) {
    m.doc() = module_doc;
    // One function per record, in table order; they differ only in the record
    // they refer to.  The records are constants with static storage duration.
    // A single positional py::object parameter and result give the signature
    // "({object}) -> object"; the third argument is the function's doc text.
    for (const lumq::ModelRecord &record : lumq::model_records) {
        m.def(
            record.loader_name,
            [&record](const py::object &arg) { return lumq::load_model(record, arg); },
            record.loader_name);
    }
    m.attr("__version__") = LUMQ_VERSION;
}
