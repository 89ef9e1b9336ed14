// Statement texts the windows send, and malformed ones, against the parsed summary or FoxPro's error.
#include "provider/sql/parser.h"

#include <gtest/gtest.h>

#include <random>

#include "provider/error.h"

namespace dorvane::provider::sql {
namespace {

struct ParseCase {
    const char* text;
    const char* summary;
};

class ParsesTo : public testing::TestWithParam<ParseCase> {};

TEST_P(ParsesTo, Summary) {
    const ParseCase& c = GetParam();
    SCOPED_TRACE(c.text);
    const Statement s = parseStatement(c.text);
    EXPECT_EQ(describe(s), c.summary);
    EXPECT_FALSE(tableOf(s).name.empty());
}

INSTANTIATE_TEST_SUITE_P(
    WindowStatements, ParsesTo,
    testing::Values(
        ParseCase{"SELECT * FROM \"customers\"", "SELECT * FROM 'customers'"},
        ParseCase{"select * from [orders]", "SELECT * FROM 'orders'"},
        ParseCase{"select * from `orders`;", "SELECT * FROM 'orders'"},
        ParseCase{"update orders set Name='O''Brien' where tempidxxx=12",
                  "UPDATE orders SET Name='O''Brien' WHERE (= tempidxxx 12)"},
        ParseCase{"update orders set qty=12 where tempidxxx=3",
                  "UPDATE orders SET qty=12 WHERE (= tempidxxx 3)"},
        ParseCase{"INSERT INTO [orders] (name,qty) VALUES ('a','12')",
                  "INSERT INTO 'orders' (name,qty) VALUES ('a','12')"},
        ParseCase{"DELETE FROM orders WHERE tempidxxx=4", "DELETE FROM orders WHERE (= tempidxxx 4)"},
        ParseCase{"ALTER TABLE orders ADD COLUMN tempidxxx i NULL",
                  "ALTER TABLE orders ADD tempidxxx I(4,0) NULL"},
        ParseCase{"UPDATE orders SET tempidxxx = recno()", "UPDATE orders SET tempidxxx=(call RECNO)"},
        ParseCase{"ALTER TABLE orders ADD COLUMN notes M", "ALTER TABLE orders ADD notes M(4,0)"},
        ParseCase{"ALTER TABLE [orders] RENAME COLUMN a TO b", "ALTER TABLE 'orders' RENAME a TO b"},
        ParseCase{"ALTER TABLE orders DROP COLUMN tempidxxx", "ALTER TABLE orders DROP tempidxxx"},
        ParseCase{"CREATE TABLE '/data/x/new table.dbf'(a M,b M)",
                  "CREATE TABLE '/data/x/new table.dbf' (a M(4,0),b M(4,0))"},
        ParseCase{"DROP TABLE `orders`", "DROP TABLE 'orders'"}));

INSTANTIATE_TEST_SUITE_P(
    Forms, ParsesTo,
    testing::Values(
        // names: bare paths, quoted forms, keywords in any case
        ParseCase{"drop table /data/x/orders.dbf", "DROP TABLE /data/x/orders.dbf"},
        ParseCase{"DROP TABLE C:\\data\\orders.dbf ;", "DROP TABLE C:\\data\\orders.dbf"},
        ParseCase{"CREATE TABLE \"C:\\my data\\t.dbf\" (id I NOT NULL)",
                  "CREATE TABLE 'C:\\my data\\t.dbf' (id I(4,0) NOT NULL)"},
        ParseCase{"CREATE TABLE t (_a1 I, [B_2] L, \"\xC3\xA9t\xC3\xA9\" D)",
                  "CREATE TABLE t (_a1 I(4,0),B_2 L(1,0),\xC3\xA9t\xC3\xA9 D(8,0))"},
        ParseCase{"create table [t] free (c c(10), v varchar(20) null)",
                  "CREATE TABLE 't' FREE (c C(10,0),v V(20,0) NULL)"},
        ParseCase{"SeLeCt name, qty AS amount, qty*2 FROM orders",
                  "SELECT name AS name,qty AS amount,(* qty 2) FROM orders"},
        ParseCase{"INSERT INTO orders VALUES (1, -3.5, .5, 1e3, NULL, .T., .F., .NULL.)",
                  "INSERT INTO orders VALUES (1,-3.5,0.5,1000,null,.T.,.F.,null)"},
        ParseCase{"UPDATE orders SET a = 1, [b] = \"x\", `c` = [y] WHERE name = \"it's\"",
                  "UPDATE orders SET a=1,b='x',c='y' WHERE (= name 'it''s')"},
        ParseCase{"update o set o.a = 2", "UPDATE o SET a=2"},
        ParseCase{"SELECT * FROM t WHERE a > 1 ORDER BY name DESC, 2, UPPER(c) ASC",
                  "SELECT * FROM t WHERE (> a 1) ORDER BY name DESC,2,(call UPPER c)"},
        ParseCase{"SELECT * FROM t order by a", "SELECT * FROM t ORDER BY a"},
        ParseCase{"DELETE FROM t WHERE a=1 AND NOT b OR c",
                  "DELETE FROM t WHERE (or (and (= a 1) (not b)) c)"},
        ParseCase{"DELETE FROM t WHERE a=1 .and. .not. b .or. !c",
                  "DELETE FROM t WHERE (or (and (= a 1) (not b)) (not c))"},
        ParseCase{"DELETE FROM t WHERE x IS NOT NULL AND y is null",
                  "DELETE FROM t WHERE (and (notnull x) (isnull y))"},
        ParseCase{"DELETE FROM t WHERE a+b*c-d/e%f^2 >= -(g)",
                  "DELETE FROM t WHERE (>= (- (+ a (* b c)) (% (/ d e) (^ f 2))) (neg g))"},
        ParseCase{"DELETE FROM t WHERE a == 'x' or a # 'y' or a != 'z' or a <> 'w'",
                  "DELETE FROM t WHERE (or (or (or (== a 'x') (<> a 'y')) (<> a 'z')) (<> a 'w'))"},
        ParseCase{"DELETE FROM t WHERE t.a = 1 AND 'b' $ c", "DELETE FROM t WHERE (and (= t.a 1) ($ 'b' c))"},
        ParseCase{"DELETE FROM t WHERE d = {^2024-01-31} OR e = {^2024-01-31 14:05:00} OR d = {}",
                  "DELETE FROM t WHERE (or (or (= d {^2024-01-31}) (= e {^2024-01-31 14:05:00})) (= d {^}))"},
        ParseCase{"DELETE FROM t WHERE x=1.and.y=2", "DELETE FROM t WHERE (and (= x 1) (= y 2))"},
        ParseCase{"DELETE FROM t WHERE a IN (1, 2) AND b NOT IN ('x') OR c BETWEEN 1 AND 5+1",
                  "DELETE FROM t WHERE (or (and (call INLIST a 1 2) (not (call INLIST b 'x'))) (call BETWEEN "
                  "c 1 (+ 5 1)))"},
        ParseCase{
            "DELETE FROM t WHERE name LIKE 'Sm%' AND NOT name NOT LIKE '_x' AND d NOT BETWEEN 1 .AND. 2",
            "DELETE FROM t WHERE (and (and (like name 'Sm%') (not (not (like name '_x')))) (not (call "
            "BETWEEN d 1 2)))"},
        ParseCase{"DELETE FROM t WHERE upper(alltrim(name)) = 'AB'",
                  "DELETE FROM t WHERE (= (call UPPER (call ALLTRIM name)) 'AB')"}));

INSTANTIATE_TEST_SUITE_P(
    ColumnTypes, ParsesTo,
    testing::Values(
        ParseCase{"CREATE TABLE t (a C(10), b Character(254), c V(5), d Varchar(1), e Q(7), f Varbinary(3))",
                  "CREATE TABLE t (a C(10,0),b C(254,0),c V(5,0),d V(1,0),e Q(7,0),f Q(3,0))"},
        ParseCase{"CREATE TABLE t (a N(10), b N(10,2), c Numeric(20,18), d F(5,3), e Float(8))",
                  "CREATE TABLE t (a N(10,0),b N(10,2),c N(20,18),d F(5,3),e F(8,0))"},
        ParseCase{"CREATE TABLE t (a I, b Integer, c Int, d B, e B(2), f Double, g Y, h Currency)",
                  "CREATE TABLE t (a I(4,0),b I(4,0),c I(4,0),d B(8,0),e B(8,2),f B(8,0),g Y(8,4),h Y(8,4))"},
        ParseCase{"CREATE TABLE t (a D, b Date, c T, d DateTime, e L, f Logical, g M, h Memo, i G, j "
                  "General, k W, l Blob)",
                  "CREATE TABLE t (a D(8,0),b D(8,0),c T(8,0),d T(8,0),e L(1,0),f L(1,0),g M(4,0),h M(4,0),i "
                  "G(4,0),"
                  "j G(4,0),k W(4,0),l W(4,0))"},
        ParseCase{"CREATE TABLE t (a D(3), b I(9,2))", "CREATE TABLE t (a D(8,0),b I(4,0))"}));

struct ErrorCase {
    const char* text;
    FoxError error;
};

class FailsWith : public testing::TestWithParam<ErrorCase> {};

TEST_P(FailsWith, FoxProError) {
    const ErrorCase& c = GetParam();
    SCOPED_TRACE(c.text);
    try {
        parseStatement(c.text);
        FAIL() << "parsed";
    } catch (const ProviderError& e) {
        EXPECT_EQ(e.code(), c.error) << e.message();
        EXPECT_EQ(e.hresult(), kEFail);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, FailsWith,
    testing::Values(ErrorCase{"", FoxError::UnrecognizedPhrase}, ErrorCase{";", FoxError::UnrecognizedPhrase},
                    ErrorCase{"SELEKT * FROM t", FoxError::UnrecognizedPhrase},
                    ErrorCase{"SELECT * FROM", FoxError::UnrecognizedPhrase},
                    ErrorCase{"SELECT * t", FoxError::UnrecognizedPhrase},
                    ErrorCase{"SELECT * FROM t WHERE", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a = ", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE (a = 1", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a = 'open", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t extra", FoxError::UnrecognizedPhrase},
                    ErrorCase{"SELECT * FROM t ORDER name", FoxError::UnrecognizedPhrase},
                    ErrorCase{"SELECT * FROM t ORDER BY", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t ORDER BY a DESC DESC", FoxError::UnrecognizedPhrase},
                    ErrorCase{"SELECT * FROM t; SELECT * FROM u", FoxError::UnrecognizedPhrase},
                    ErrorCase{"UPDATE t SET", FoxError::UnrecognizedPhrase},
                    ErrorCase{"UPDATE t SET a 1", FoxError::UnrecognizedPhrase},
                    ErrorCase{"UPDATE t SET 'a' = 1", FoxError::UnrecognizedPhrase},
                    ErrorCase{"UPDATE t a = 1", FoxError::UnrecognizedPhrase},
                    ErrorCase{"INSERT INTO t (a, b) VALUES (1)", FoxError::UnrecognizedPhrase},
                    ErrorCase{"INSERT INTO t (a) VALUES 1", FoxError::UnrecognizedPhrase},
                    ErrorCase{"INSERT t VALUES (1)", FoxError::UnrecognizedPhrase},
                    ErrorCase{"INSERT INTO t VALUES (1,)", FoxError::SyntaxError},
                    ErrorCase{"DELETE t", FoxError::UnrecognizedPhrase},
                    ErrorCase{"ALTER TABLE t MODIFY a", FoxError::UnrecognizedPhrase},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a", FoxError::UnrecognizedPhrase},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a Z", FoxError::UnrecognizedPhrase},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a N", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a C", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a C(0)", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a C(255)", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a N(21)", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a N(5,4)", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a N(5.5)", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a B(19)", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a C(99999999999)", FoxError::FieldWidthInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a I NOT", FoxError::UnrecognizedPhrase},
                    ErrorCase{"ALTER TABLE t ADD COLUMN a I DEFAULT 1", FoxError::UnrecognizedPhrase},
                    ErrorCase{"ALTER TABLE t RENAME COLUMN a b", FoxError::UnrecognizedPhrase},
                    ErrorCase{"CREATE TABLE t", FoxError::UnrecognizedPhrase},
                    ErrorCase{"CREATE TABLE t ()", FoxError::UnrecognizedPhrase},
                    ErrorCase{"CREATE TABLE t (a C(5)", FoxError::UnrecognizedPhrase},
                    ErrorCase{"CREATE TABLE '' (a M)", FoxError::UnrecognizedPhrase},
                    ErrorCase{"DROP TABLE", FoxError::UnrecognizedPhrase},
                    ErrorCase{"CREATE TABLE t (a C(1), A N(2))", FoxError::FieldNameInvalid},
                    ErrorCase{"CREATE TABLE t (\"a b\" C(1))", FoxError::FieldNameInvalid},
                    ErrorCase{"CREATE TABLE t ([1a] C(1))", FoxError::FieldNameInvalid},
                    ErrorCase{"ALTER TABLE t ADD COLUMN [x-y] I", FoxError::FieldNameInvalid},
                    ErrorCase{"ALTER TABLE t RENAME COLUMN a TO `b.c`", FoxError::FieldNameInvalid},
                    ErrorCase{"DROP t", FoxError::UnrecognizedPhrase},
                    ErrorCase{"DROP TABLE [t", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a = 12abc", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a = {^2024-02-30}", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a = @", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a IS 1", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a.", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE f(1,", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a IN 1", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a IN (1", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a BETWEEN 1 OR 2", FoxError::SyntaxError},
                    ErrorCase{"SELECT * FROM t WHERE a NOT 1", FoxError::UnrecognizedPhrase}));

TEST(ParserLimits, DeepNestingIsAnErrorNotACrash) {
    const struct {
        std::string text;
    } cases[] = {
        {"SELECT * FROM t WHERE " + std::string(100000, '(') + "1" + std::string(100000, ')')},
        {"SELECT * FROM t WHERE " + std::string(100000, '-') + "1"},
        {"SELECT * FROM t WHERE " + std::string(50000, '!') + "a"},
        {"SELECT * FROM t WHERE a" +
         [] {
             std::string s;
             for (int i = 0; i < 50000; ++i) s += "+a";
             return s;
         }()},
        {"SELECT * FROM t WHERE a=1" +
         [] {
             std::string s;
             for (int i = 0; i < 50000; ++i) s += " AND a=1";
             return s;
         }()},
        {"SELECT * FROM t WHERE " +
         [] {
             std::string s;
             for (int i = 0; i < 50000; ++i) s += "upper(";
             return s + "a" + std::string(50000, ')');
         }()},
    };
    for (const auto& c : cases) {
        try {
            parseStatement(c.text);
            FAIL() << "parsed " << c.text.substr(0, 40);
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.code(), FoxError::SyntaxError);
        }
    }
    // Reasonable depth still parses.
    EXPECT_NO_THROW(
        parseStatement("SELECT * FROM t WHERE " + std::string(60, '(') + "1" + std::string(60, ')')));
}

// Truncations, byte flips and random texts: every outcome is a statement or a ProviderError.
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
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = rng() % (text.size() + 1);
                const char c = alphabet[rng() % alphabet.size()];
                switch (rng() % 3) {
                    case 0:
                        text.insert(text.begin() + at, c);
                        break;
                    case 1:
                        if (at < text.size()) text[at] = c;
                        break;
                    default:
                        if (at < text.size()) text.erase(at, 1);
                }
            }
            tryParse(text);
        }
    }
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const std::size_t len = rng() % 40;
        for (std::size_t i = 0; i < len; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
        tryParse(text);
    }
}

TEST(ExpressionParser, WholeTextIsOneExpression) {
    EXPECT_EQ(describe(*parseExpression("STR(qty,10)+DTOS(d)")), "(+ (call STR qty 10) (call DTOS d))");
    EXPECT_EQ(describe(*parseExpression(".NOT.DELETED()")), "(not (call DELETED))");
    EXPECT_EQ(describe(*parseExpression("[it's] + \"x\"")), "(+ 'it''s' 'x')");
    EXPECT_THROW(parseExpression("a b"), ProviderError);
    EXPECT_THROW(parseExpression(""), ProviderError);
}

}  // namespace
}  // namespace dorvane::provider::sql
