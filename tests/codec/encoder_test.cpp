#include "encoder.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "stored_text.hpp"

namespace enc = lumq::encoder;
using namespace std::string_literals;  // "...\0..."s keeps the NUL

TEST(Encoder, EscapesQuotesOutsideTripleQuotesAndRoundTrips) {
    EXPECT_EQ(enc::encode(R"(x = "a" + "" + """doc""")"), R"(x = \"a\" + \"\" + """doc""")");
    EXPECT_EQ(enc::encode(R"("""")"), R"(\"\"\"\")");
    EXPECT_EQ(enc::encode(R"(r"['\"]" \\" "\b")"), R"(r\"['origin_slash_quoate]\" \origin_slash_quoate \"\b\")");
    EXPECT_EQ(enc::encode(R"("""a\"""")"), R"("""aorigin_slash_quoate""")");
    for (const std::string source : {"", R"src(class A(B):
    """Doc "quoted" \"escaped\"."""
    x = "" + """""" + '\\"' + """"q" t""" + r"(?<!['\"])\b\w+(\.\w+)*\b(?!['\"])"
)src"}) {
        EXPECT_EQ(lumq::stored_text::decode(enc::split(enc::encode(source), 7)), source);
    }
}

TEST(Encoder, SplitsIntoOneToFourPiecesOfAPositiveSize) {
    const auto sizes = [](std::size_t length) {
        std::vector<std::size_t> result;
        for (std::string_view fragment : enc::split(std::string(length, 'a'))) {
            result.push_back(fragment.size());
        }
        return result;
    };
    using Sizes = std::vector<std::size_t>;
    EXPECT_EQ(sizes(0), Sizes{0});
    EXPECT_EQ(sizes(3000), Sizes{3000});
    EXPECT_EQ(sizes(3001), Sizes({3000, 1}));
    EXPECT_EQ(sizes(12001), Sizes({3001, 3001, 3001, 2998}));
    EXPECT_EQ(sizes(20000), Sizes({5000, 5000, 5000, 5000}));
    EXPECT_EQ(enc::split("abc", std::numeric_limits<std::size_t>::max()), std::vector<std::string_view>{"abc"});
    EXPECT_THROW(enc::split("abc", 0), std::invalid_argument);
    EXPECT_THROW(enc::split("", 0), std::invalid_argument);
}

TEST(Encoder, RefusesBadSourcesWithLineAndColumn) {
    const auto refusal = [](const std::string &source, std::vector<std::string_view> stored = {}) {
        try {
            stored.empty() ? enc::check_source(source, "A") : enc::check_round_trip(source, stored);
            return std::string("accepted");
        } catch (const enc::SourceError &error) {
            return std::to_string(error.line) + ":" + std::to_string(error.column) + " " + error.what();
        }
    };
    EXPECT_EQ(refusal("x = 1\nclass A(B):\n"), "accepted");
    EXPECT_EQ(refusal("class A(B):\n  \tx = 1\n"), "2:3 tab character; indent with spaces");
    EXPECT_EQ(refusal("class A(B):\r\n"), "1:12 carriage return; end lines with a line feed only");
    EXPECT_EQ(refusal("class A(B):\n    x = '\xc3\xa9'\n"), "2:10 byte 195 is not plain ASCII");
    const std::string only_lf = "; a model source may hold only line feeds";
    EXPECT_EQ(refusal("class A(B):\n    x = 'a\0b'\n"s), "2:11 control character 0x00" + only_lf);
    EXPECT_EQ(refusal("class A(B):\n\0"s), "2:1 control character 0x00" + only_lf);
    EXPECT_EQ(refusal("\x7f" "class A(B):\n"), "1:1 control character 0x7F" + only_lf);
    EXPECT_EQ(refusal("class A(B):\n  \x1b" "[0m\n"), "2:3 control character 0x1B" + only_lf);
    EXPECT_EQ(refusal("class A(B):\n\f\n"), "2:1 control character 0x0C" + only_lf);
    // Every ASCII byte: refused exactly when it is a control character other than the line feed.
    for (int c = 0; c < 128; ++c) {
        const bool control = (c < 0x20 && c != '\n') || c == 0x7F;
        const std::string verdict = refusal("class A(B):\n    x = '"s + static_cast<char>(c) + "'\n");
        EXPECT_EQ(verdict == "accepted", !control) << "byte " << c << ": " << verdict;
    }
    EXPECT_THROW(enc::encode_model("A", 0, "class A(B):\n    x = 1\0\n"s), enc::SourceError);
    EXPECT_EQ(refusal("class A(B):\n  'origin_slash_quoate'\n"),
              "2:4 contains the reserved text 'origin_slash_quoate'");
    EXPECT_EQ(refusal("if x:\n    class A(B):\nclass AB(B):\n"), "1:1 no top-level class statement 'class A('");
    EXPECT_EQ(refusal("a\nb = '\\\"'\n", {"a\nb = '\\\"'\n"}),
              "2:6 the stored form does not decode back to the source (decoded text differs here)");
}

TEST(Encoder, RendersRecordsWithSafeRawLiterals) {
    const std::string header = enc::render_header(
        {enc::encode_model("SpellMixin", 6, "class SpellMixin(models.Model):\n    x = \"\"\")lumq\"\"\"\n")});
    EXPECT_NE(header.find("{\"load_spell_mixin_6\", \"SpellMixin\", {\n"
                          "R\"lumq0(class SpellMixin(models.Model):\n    x = \"\"\")lumq\"\"\"\n)lumq0\",\n"),
              std::string::npos);
    EXPECT_EQ(enc::loader_name("LumqSpellConfig", 5), "load_lumq_spell_config_5");
}
