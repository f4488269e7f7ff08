#pragma once

#include "binding.hpp"

#include "model_record.hpp"

namespace lumq {

// Executes the model source of `record` with the calling frame's globals and a
// namespace made from `arg`, and returns what the namespace then holds under
// the class name.  Python errors propagate unchanged as error_already_set.
pybind11::object load_model(const ModelRecord &record, const pybind11::object &arg);

}  // namespace lumq
