// What the module knows about one model source.  The build generates the
// table of these records (model_records.hpp) from model_sources/.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace lumq {

inline constexpr std::size_t max_fragments = 4;

struct ModelRecord {
    const char *loader_name;  // module attribute, also the loader's doc text
    const char *class_name;   // the name the source's class statement binds
    // The stored text in order; unused trailing fragments are empty.
    std::array<std::string_view, max_fragments> fragments;
};

}  // namespace lumq
