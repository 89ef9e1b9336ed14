// The parser's limits and robustness (statement texts against their parse are in sql_cases.txt):
// deep nesting is an error, not a crash, and mangled texts give a statement or a ProviderError.
#include "provider/sql/parser.h"

#include <gtest/gtest.h>

#include <random>

#include "provider/error.h"

namespace dorvane::provider::sql {
namespace {

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(ParserLimits, DeepNestingIsAnErrorNotACrash) {
    const std::string where = "SELECT * FROM t WHERE ";
    for (const std::string& text :
         {where + repeat("(", 100000) + "1" + repeat(")", 100000), where + repeat("-", 100000) + "1",
          where + repeat("!", 50000) + "a", where + "a" + repeat("+a", 50000),
          where + "a=1" + repeat(" AND a=1", 50000),
          where + repeat("upper(", 50000) + "a" + repeat(")", 50000)}) {
        try {
            parseStatement(text);
            ADD_FAILURE() << "parsed " << text.substr(0, 40);
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.code(), FoxError::SyntaxError);
        }
    }
    EXPECT_NO_THROW(parseStatement(where + repeat("(", 60) + "1" + repeat(")", 60)));
}

// Truncations, byte flips and random texts.
TEST(ParserRobustness, MangledTextsNeverCrash) {
    const std::string seeds[] = {
        "update orders set Name='O''Brien' where tempidxxx=12",
        "INSERT INTO [orders] (name,qty) VALUES ('a','12')",
        "CREATE TABLE '/data/x/new table.dbf'(a M,b N(10,2) NOT NULL, c C(3) NULL)",
        "SELECT a, upper(b) AS c FROM \"t\" WHERE d = {^2024-01-31} .AND. e IS NOT NULL OR f $ [xy]",
        "ALTER TABLE [orders] RENAME COLUMN a TO b",
    };
    std::mt19937 rng(20261207);
    const std::string alphabet = "()[]{}'\"`.,;=<>!#$%^*+-/ \\aZ09eE^:\x80\xff";
    auto tryParse = [](const std::string& text) {
        try {
            parseStatement(text);
        } catch (const ProviderError&) {
        }
        try {
            parseExpression(text);
        } catch (const ProviderError&) {
        }
    };
    for (const std::string& seed : seeds) {
        for (std::size_t n = 0; n <= seed.size(); ++n) tryParse(seed.substr(0, n));
        for (int round = 0; round < 400; ++round) {
            std::string text = seed;
            for (int e = 0, edits = 1 + int(rng() % 4); e < edits; ++e) {
                const std::size_t at = rng() % (text.size() + 1);
                const char c = alphabet[rng() % alphabet.size()];
                const unsigned how = rng() % 3;
                if (how == 0) text.insert(text.begin() + at, c);
                if (how == 1 && at < text.size()) text[at] = c;
                if (how == 2 && at < text.size()) text.erase(at, 1);
            }
            tryParse(text);
        }
    }
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (std::size_t i = 0, len = rng() % 40; i < len; ++i)
            text.push_back(alphabet[rng() % alphabet.size()]);
        tryParse(text);
    }
}

}  // namespace
}  // namespace dorvane::provider::sql
