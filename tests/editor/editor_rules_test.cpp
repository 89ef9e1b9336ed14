// The editor's statements, the numeric reading of a typed text, and the texts cells show.
#include <gtest/gtest.h>

#include "editor/cell_text.h"
#include "editor/editor_statements.h"

using namespace dorvane;
using namespace dorvane::editor;

TEST(EditorStatements, AreBuiltFromTheirPieces) {
    struct Case {
        const char* name;
        QString built;
        const char* expected;
    };
    const Case cases[] = {
        {"grid", gridSelect("my table"), "SELECT * FROM \"my table\""},
        {"text update quotes", cellTextUpdate("my table", "last name", "O'Brien", "7"),
         "update [my table] set [last name]='O''Brien' where tempidxxx=7"},
        {"numeric update", cellNumericUpdate("t", "qty", "12", "3"),
         "update [t] set [qty]=12 where tempidxxx=3"},
        {"insert", insertRow("t", 11, {"a", "b c"}, {"it's", ""}),
         "insert into [t] (tempidxxx,[a],[b c]) values (11,'it''s','')"},
        {"delete", deleteRow("my table", "4"), "delete from [my table] where tempidxxx=4"},
        {"add", addMemoColumn("t", " Notes"), "ALTER TABLE [t] ADD COLUMN [ Notes] M NULL"},
        {"rename", renameColumn("t", "a", "b"), "ALTER TABLE [t] RENAME COLUMN [a] TO [b]"},
        {"drop", dropColumn("t", "a"), "ALTER TABLE [t] DROP COLUMN [a]"},
        {"identifier", addIdentifier("t") + "|" + numberIdentifier("t") + "|" + dropIdentifier("t"),
         "ALTER TABLE [t] ADD COLUMN tempidxxx i NULL|update [t] set tempidxxx = recno()|"
         "ALTER TABLE [t] DROP COLUMN tempidxxx"},
        {"rename answer", columnNameAnswer("LongerName12") + "|" + columnNameAnswer(" ab"), "LongerNa| ab"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.built.toStdString(), c.expected) << c.name;
}

TEST(EditorStatements, TypedTextReadsAsItsLeadingNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"12abc", "12"}, {"abc", "0"}, {"1.50", "1.5"}, {" - 3 4.5x", "-34.5"}, {"", "0"}, {".5", "0.5"},
        {"1e3", "1000"}, {"2e", "2"},  {"+7", "7"},     {"1,5", "1"},
    };
    for (const auto& [typed, expected] : cases)
        EXPECT_EQ(leadingNumberText(typed).toStdString(), expected) << typed;
}

TEST(CellText, ShowsWhatAFoxProUserExpects) {
    using provider::ColumnInfo;
    using provider::Value;
    struct Case {
        Value value;
        ColumnInfo column;
        const char* expected;
    };
    const Case cases[] = {
        {Value{std::string("Smith   ")}, {"n", 'C', 8}, "Smith"},
        {Value{std::string("  memo \r\nline ")}, {"m", 'M', 4}, "  memo \r\nline "},
        {Value{12.5}, {"q", 'N', 10, 2}, "12.50"},
        {Value{std::int64_t(42)}, {"i", 'I', 4}, "42"},
        {Value{provider::Date{provider::julianDayFromCivil(2024, 3, 5)}}, {"d", 'D', 8}, "2024-03-05"},
        {Value{provider::DateTime{provider::julianDayFromCivil(2024, 3, 5), 50700000}},
         {"t", 'T', 8},
         "2024-03-05 14:05:00"},
        {Value{true}, {"l", 'L', 1}, "True"},
        {Value{}, {"n", 'N', 10, 2}, ""},
        {Value{provider::Blob{"\x01\x02"}}, {"g", 'G', 4}, "(binary)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cellText(c.value, c.column).toStdString(), c.expected) << c.expected;
    EXPECT_FALSE(isEditableField({"g", 'G', 4}));
}
