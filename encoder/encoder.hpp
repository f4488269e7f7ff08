// Build-time encoder of the model sources into the module's stored form.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumq::encoder {

// A source the build refuses; `line` and `column` count from 1.
class SourceError : public std::runtime_error {
public:
    SourceError(std::size_t line, std::size_t column, const std::string &what)
        : std::runtime_error(what), line(line), column(column) {}
    std::size_t line;
    std::size_t column;
};

// "LumqSpellConfig" -> "lumq_spell_config": lower case, with an underscore
// before each capital but the first.  Also the source's file stem.
std::string snake_case(std::string_view class_name);

// "load_" + snake case + "_" + the loader's number.
std::string loader_name(std::string_view class_name, std::size_t number);

// Refuses a text that is not plain ASCII, holds a control character other
// than the line feed (0x00-0x1F but 0x0A, and 0x7F; tab and carriage return
// get messages of their own), contains the placeholder, or has no top-level
// "class <name>(" line.
void check_source(std::string_view source, std::string_view class_name);

// The stored form: a double quote in a run of exactly three stays bare, any
// other double quote becomes backslash + quote, and a backslash + double quote
// becomes the placeholder.
std::string encode(std::string_view source);

// Cuts a stored text into one to four consecutive pieces of about
// `piece_size` characters (larger when four such pieces do not hold it).
// Throws std::invalid_argument when `piece_size` is 0.
std::vector<std::string_view> split(std::string_view stored, std::size_t piece_size = 3000);

// Throws SourceError at the first difference unless the fragments decode to
// `source` byte for byte.
void check_round_trip(std::string_view source, const std::vector<std::string_view> &fragments);

struct EncodedModel {
    std::string loader_name;
    std::string class_name;
    std::string stored;
};

// check_source, encode, split and check_round_trip for model number `number`.
EncodedModel encode_model(std::string_view class_name, std::size_t number, std::string_view source);

// C++ header defining lumq::model_records: one record per model, in order,
// with its fragments as raw string literals.
std::string render_header(const std::vector<EncodedModel> &models);

}  // namespace lumq::encoder
