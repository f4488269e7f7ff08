#include "encoder.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "model_record.hpp"
#include "stored_text.hpp"

namespace lumq::encoder {

namespace {

// 1-based line and column of byte `offset` of `text`.
SourceError error_at(std::string_view text, std::size_t offset, const std::string &what) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t line_start = before.rfind('\n');
    const std::size_t column = line_start == std::string_view::npos ? offset + 1 : offset - line_start;
    return SourceError(static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1,
                       column, what);
}

// A raw string literal holding `text`, with a delimiter whose closing
// sequence does not occur in it.
std::string raw_literal(std::string_view text) {
    std::string delimiter = "lumq";
    for (int n = 0; text.find(")" + delimiter + "\"") != std::string_view::npos; ++n) {
        delimiter = "lumq" + std::to_string(n);
    }
    std::string literal = "R\"" + delimiter + "(";
    literal.append(text).append(")").append(delimiter).append("\"");
    return literal;
}

// "0x1B": a byte as two upper-case hex digits.
std::string hex_byte(unsigned char c) {
    char digits[5];
    std::snprintf(digits, sizeof digits, "0x%02X", static_cast<unsigned>(c));
    return digits;
}

}  // namespace

std::string snake_case(std::string_view class_name) {
    std::string snake;
    for (std::size_t i = 0; i < class_name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(class_name[i]);
        if (i > 0 && std::isupper(c)) {
            snake += '_';
        }
        snake += static_cast<char>(std::tolower(c));
    }
    return snake;
}

std::string loader_name(std::string_view class_name, std::size_t number) {
    return "load_" + snake_case(class_name) + "_" + std::to_string(number);
}

void check_source(std::string_view source, std::string_view class_name) {
    for (std::size_t i = 0; i < source.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(source[i]);
        if (c == '\t') {
            throw error_at(source, i, "tab character; indent with spaces");
        }
        if (c == '\r') {
            throw error_at(source, i, "carriage return; end lines with a line feed only");
        }
        // The module runs the text through PyRun_StringFlags, which reads a
        // C string, so a NUL would cut the source off there; the other
        // control characters have no place in a model source either.
        if ((c < 0x20 && c != '\n') || c == 0x7F) {
            throw error_at(source, i,
                           "control character " + hex_byte(c) + "; a model source may hold only line feeds");
        }
        if (c > 127) {
            throw error_at(source, i, "byte " + std::to_string(c) + " is not plain ASCII");
        }
    }
    if (const std::size_t at = source.find(stored_text::placeholder); at != std::string_view::npos) {
        throw error_at(source, at,
                       "contains the reserved text '" + std::string(stored_text::placeholder) + "'");
    }
    const std::string statement = "class " + std::string(class_name) + "(";
    for (std::size_t at = source.find(statement); at != std::string_view::npos;
         at = source.find(statement, at + 1)) {
        if (at == 0 || source[at - 1] == '\n') {
            return;
        }
    }
    throw error_at(source, 0, "no top-level class statement '" + statement + "'");
}

std::string encode(std::string_view source) {
    std::string stored;
    stored.reserve(source.size() + source.size() / 16);
    for (std::size_t i = 0; i < source.size();) {
        if (source.substr(i, 2) == stored_text::escaped_quote) {
            stored.append(stored_text::placeholder);
            i += 2;
        } else if (source[i] == '"') {
            const std::size_t end = std::min(source.find_first_not_of('"', i), source.size());
            if (end - i == 3) {
                stored.append(R"(""")");
            } else {
                for (std::size_t n = i; n < end; ++n) {
                    stored.append(stored_text::escaped_quote);
                }
            }
            i = end;
        } else {
            stored += source[i++];
        }
    }
    return stored;
}

std::vector<std::string_view> split(std::string_view stored, std::size_t piece_size) {
    if (piece_size == 0) {
        throw std::invalid_argument("split: the piece size must be at least 1 character");
    }
    // Rounds up without adding to the size, so that no piece size overflows.
    const std::size_t wanted = stored.size() / piece_size + (stored.size() % piece_size != 0 ? 1 : 0);
    const std::size_t pieces = std::clamp<std::size_t>(wanted, 1, max_fragments);
    const std::size_t size = std::max(piece_size, (stored.size() + pieces - 1) / pieces);
    std::vector<std::string_view> fragments;
    for (std::size_t at = 0; fragments.empty() || at < stored.size(); at += size) {
        fragments.push_back(stored.substr(at, size));
    }
    return fragments;
}

void check_round_trip(std::string_view source, const std::vector<std::string_view> &fragments) {
    const std::string decoded = stored_text::decode(fragments);
    if (decoded == source) {
        return;
    }
    const auto differs = std::mismatch(source.begin(), source.end(), decoded.begin(), decoded.end()).first;
    throw error_at(source, static_cast<std::size_t>(differs - source.begin()),
                   "the stored form does not decode back to the source (decoded text differs here)");
}

EncodedModel encode_model(std::string_view class_name, std::size_t number, std::string_view source) {
    check_source(source, class_name);
    EncodedModel model{loader_name(class_name, number), std::string(class_name), encode(source)};
    check_round_trip(source, split(model.stored));
    return model;
}

std::string render_header(const std::vector<EncodedModel> &models) {
    std::string out =
        "// Generated by lumq_encode from model_sources/ at build time; do not edit.\n"
        "#pragma once\n\n"
        "#include \"model_record.hpp\"\n\n"
        "namespace lumq {\n\n"
        "inline constexpr ModelRecord model_records[] = {\n";
    for (const EncodedModel &model : models) {
        out += "    {\"" + model.loader_name + "\", \"" + model.class_name + "\", {\n";
        for (std::string_view fragment : split(model.stored)) {
            out += raw_literal(fragment) + ",\n";
        }
        out += "    }},\n";
    }
    out += "};\n\n}  // namespace lumq\n";
    return out;
}

}  // namespace lumq::encoder
