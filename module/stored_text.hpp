// The stored form of the model sources and the two passes that undo it.
//
// A model source is kept in the module as one to four fragments.  In them a
// double quote that is not part of a triple quote is written as backslash +
// double quote, and a backslash + double quote of the source is written as the
// placeholder below.  Loading joins the fragments, turns every escaped quote
// back into a bare quote (pass 1), then every placeholder back into backslash +
// double quote (pass 2).
//
// Plain C++ with no Python in it, so that the encoder and the codec tests use
// exactly what the module uses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumq::stored_text {

inline constexpr std::string_view escaped_quote = "\\\"";
inline constexpr std::string_view placeholder = "origin_slash_quoate";

// Copies `text`, replacing each occurrence of `from` (non-empty), taken left to
// right, by `to`.  One forward scan: every search starts after the previous
// match, so text that was just inserted is never looked at again.
inline std::string replace_each(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit = text.find(from); hit != std::string_view::npos;
         hit = text.find(from, pos)) {
        out.append(text.substr(pos, hit - pos)).append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

// Pass 1: each backslash + double quote becomes a double quote, so a stored
// backslash, backslash, double quote comes out as backslash, double quote.
inline std::string unescape_quotes(std::string_view stored) {
    return replace_each(stored, escaped_quote, "\"");
}

// Pass 2: each placeholder becomes backslash + double quote.
inline std::string restore_placeholders(std::string_view text) {
    return replace_each(text, placeholder, escaped_quote);
}

// The executable text of a stored model source: its fragments joined in
// order, then pass 1, then pass 2.
template <typename Fragments>
std::string decode(const Fragments &fragments) {
    std::string joined;
    for (std::string_view fragment : fragments) {
        joined.append(fragment);
    }
    return restore_placeholders(unescape_quotes(joined));
}

}  // namespace lumq::stored_text
