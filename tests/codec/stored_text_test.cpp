#include "stored_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace st = lumq::stored_text;

TEST(StoredText, PassOneUnescapesQuotesWithoutLookingBack) {
    EXPECT_EQ(st::unescape_quotes(R"(x = \"a\" + """b""")"), R"(x = "a" + """b""")");
    EXPECT_EQ(st::unescape_quotes(R"(\\")"), R"(\")");  // the inserted quote is not rescanned
    EXPECT_EQ(st::unescape_quotes(R"(\\\"\"\)"), R"(\\""\)");
    EXPECT_EQ(st::unescape_quotes(R"(r"\b\w+\." origin_slash_quoate)"), R"(r"\b\w+\." origin_slash_quoate)");
    EXPECT_EQ(st::unescape_quotes(""), "");
}

TEST(StoredText, PassTwoRestoresPlaceholders) {
    EXPECT_EQ(st::restore_placeholders("['origin_slash_quoate]"), R"(['\"])");
    EXPECT_EQ(st::restore_placeholders("origin_slash_quoateorigin_slash_quoate"), R"(\"\")");
    EXPECT_EQ(st::restore_placeholders("origin_slash_quoatorigin_slash_quoatee"), R"(origin_slash_quoat\"e)");
    EXPECT_EQ(st::restore_placeholders(""), "");
}

TEST(StoredText, DecodeJoinsFragmentsThenRunsPassOneThenPassTwo) {
    using Fragments = std::vector<std::string>;
    EXPECT_EQ(st::decode(Fragments{R"(r\"['origin_slash_quoate]\")"}), R"(r"['\"]")");
    EXPECT_EQ(st::decode(Fragments{"a\\", "\"b", "origin_sl", "ash_quoate"}), R"(a"b\")");
    EXPECT_EQ(st::decode(Fragments{"", ""}), "");
    std::string stored;
    std::string expected;
    for (int i = 0; i < 200000; ++i) {
        stored += R"(\"origin_slash_quoate.)";
        expected += R"("\".)";
    }
    EXPECT_EQ(st::decode(Fragments{stored, std::string(1000000, '\\')}), expected + std::string(1000000, '\\'));
}
