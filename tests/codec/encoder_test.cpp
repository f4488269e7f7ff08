#include "encoder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stored_text.hpp"

namespace enc = lumq::encoder;

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

TEST(Encoder, SplitsIntoOneToFourPieces) {
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
