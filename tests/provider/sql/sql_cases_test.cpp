// Runs the cases of sql_cases.txt: statements and expressions against their results or FoxPro's error.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "memory_table.h"
#include "provider/error.h"
#include "provider/sql/evaluator.h"
#include "provider/sql/parser.h"
#include "provider/sql/plan_shape.h"
#include "provider/sql/value_text.h"

namespace dorvane::provider::sql {
namespace {

// A value as the case file writes it: describeValue's text, with doubles marked by a decimal point
// (4 is an integer, 4.0 a double) and an empty date-time written {:}.
std::string shown(const Value& v) {
    if (const auto* t = std::get_if<DateTime>(&v); t && *t == DateTime{}) return "{:}";
    std::string s = describeValue(v);
    if (std::holds_alternative<double>(v) && s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.compare(i, 2, "\\x") == 0 && i + 3 < s.size() && isxdigit(s[i + 2]) && isxdigit(s[i + 3])) {
            out.push_back(static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Outcome of one case: the result's text, or "! N message" for a provider error.
std::string outcome(const std::function<std::string()>& run) {
    try {
        return run();
    } catch (const ProviderError& e) {
        return (e.hresult() == kEFail ? "! " : "!(not E_FAIL) ") + std::to_string(e.number()) + " " +
               e.message();
    }
}

TEST(SqlCases, EveryCaseOfTheFileGivesItsResult) {
    test::MemoryTable record = test::sampleRecord();
    std::ifstream in(DORVANE_SOURCE_DIR "/tests/provider/sql/sql_cases.txt");
    ASSERT_TRUE(in) << "sql_cases.txt not found";
    std::vector<std::string> section;
    int lineNumber = 0, cases = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (trim(line).empty() || line[0] == '#') continue;
        if (line[0] == '[' && line.find("=>") == std::string::npos) {
            std::istringstream words(line.substr(1, line.find(']') - 1));
            section.assign(std::istream_iterator<std::string>(words), {});
            continue;
        }
        const std::size_t arrow =
            line.rfind(" =>") != std::string::npos ? line.rfind(" =>") : line.find("=>");
        ASSERT_NE(arrow, std::string::npos) << "sql_cases.txt:" << lineNumber << " has no =>";
        const std::string input = unescape(trim(line.substr(0, arrow)));
        const std::string expected = unescape(trim(line.substr(line.find("=>", arrow) + 2)));
        const std::string kind = section.at(0);
        EvalOptions options;
        if (section.size() > 1 && section[1] == "general") options.collation = Collation::General;
        if (section.size() > 1 && section[1] == "exact") options.exact = true;
        if (section.size() > 1 && section[1] == "shorter") options.shorterLength = true;
        const std::string got = outcome([&]() -> std::string {
            if (kind == "parse" && section.size() > 1) return describe(*parseExpression(input));
            if (kind == "parse") return describe(parseStatement(input));
            if (kind == "constant") return shown(evaluateConstant(*parseExpression(input)));
            if (kind == "plan") {
                std::string terms;
                for (const FieldEquality& t : findFieldEqualities(*parseExpression(input), record))
                    terms += (terms.empty() ? "" : " ") + record.fieldName(t.fieldIndex) + "=" +
                             describeValue(t.constant);
                return terms;
            }
            const CompiledExpr e = compileExpression(input, record, options);
            if (kind == "type")
                return std::string(1, e.resultType().type) + " " + std::to_string(e.resultType().width);
            if (kind == "where") return e.matches(record) ? "match" : "no match";
            const Value v = e.evaluate(record);
            if (kind == "expr") return shown(v);
            const char type = section.at(1)[0];
            const int width = std::stoi(section.at(2)), decimals = std::stoi(section.at(3));
            const Value stored = convertForField(v, type, width, decimals);
            if (kind == "convert") return shown(stored);
            // grid: the text, which must convert back to the stored value
            const std::string text = formatForGrid(stored, type, decimals);
            const Value back = isNull(stored) ? stored : convertForField(text, type, width, decimals);
            return back == stored ? text : text + " came back as " + shown(back);
        });
        // "! N" checks the number (and E_FAIL), "! N text" the message too, "!" any provider error.
        const bool numberOnly = expected.rfind("! ", 0) == 0 && expected.find(' ', 2) == std::string::npos;
        const bool anyError = expected == "!" && got.rfind("! ", 0) == 0;
        EXPECT_TRUE(anyError || (numberOnly ? got.substr(0, got.find(' ', 2)) : got) == expected)
            << "sql_cases.txt:" << lineNumber << " [" << kind << "] " << input << "\n  expected: " << expected
            << "\n  got:      " << got;
        ++cases;
    }
    EXPECT_GT(cases, 500);
}

}  // namespace
}  // namespace dorvane::provider::sql
