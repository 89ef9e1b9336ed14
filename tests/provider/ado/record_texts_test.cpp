// The texts of a SELECT * row, made straight from the record's bytes, against the texts of the cells'
// decoded values, for field bytes as other programs may leave them; and dorvane-sql's escaping of long
// texts.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/format/table.h"
#include "tests/provider/format/table_test_support.h"

using namespace dorvane::provider;

TEST(RecordTexts, FieldBytesGiveTheTextsOfTheirValues) {
    test::TempDir folder;
    // Per field, in order: the bytes written over it, one record each.
    const std::vector<std::vector<std::string>> bytes = {
        {"ab c    ", std::string("x\0\0\0 \0\0\0", 8), "caf\xe9    ", "        "},
        {"    0.25", "   -0.00", "        ", "********", "  +5.50 ", "   1e3  ", "  007.10", " 12abc  ",
         "   -.5  ", "-       ", "   12.50", "   -3.00", "  100.00", "    0.10", "   -0.05"},
        {"12345678901234567890", "   123456789012345.6", "  0.1000000000000001", "                -120",
         "                 007"},
        {"19500231", "        ", "00000000", "20240229", "20230229", "2024-1-1", "99991231", "19001231"},
        {"t", "Y", "n", "?", " "},
        {std::string("\xfb\xff\xff\xff", 4), std::string("\0\0\0\x80", 4)}};
    std::vector<std::pair<std::size_t, std::string>> cases;
    for (std::size_t f = 0; f < bytes.size(); ++f) {
        for (const std::string& b : bytes[f]) cases.emplace_back(f, b);
    }
    const auto path = folder / "raw.dbf";
    std::vector<Field> fields;
    std::uint32_t headerLength = 0, recordLength = 0;
    {
        auto table = Table::create(
            path, {test::fieldSpec("name", 'C', 8), test::fieldSpec("n", 'N', 8, 2),
                   test::fieldSpec("w", 'N', 20), test::fieldSpec("d", 'D'), test::fieldSpec("l", 'L'),
                   test::fieldSpec("i", 'I'), test::fieldSpec("z", 'N', 6, 1, true)});
        // The nullable field: null in every other record.
        for (std::size_t i = 0; i < cases.size(); ++i)
            i % 2 ? table->append() : table->append({{6, i / 4.0}});
        fields = table->fields();
        headerLength = table->header().headerLength;
        recordLength = table->header().recordLength;
    }
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        for (std::size_t r = 0; r < cases.size(); ++r) {
            file.seekp(std::streamoff(headerLength + r * recordLength + fields[cases[r].first].offset));
            file.write(cases[r].second.data(), std::streamsize(cases[r].second.size()));
        }
    }
    Connection connection;
    connection.Open("Provider=vfpoledb.1;Data Source=" + folder.path().string());
    const auto rows = connection.query("SELECT * FROM raw");
    RowTexts texts;
    for (std::int64_t r = 0; r < rows->rowCount(); ++r) {
        for (const TextForm form : {TextForm::Value, TextForm::Cell}) {
            rows->rowTexts(r, form, texts);
            for (int c = 0; c < rows->columnCount(); ++c) {
                std::string want;
                appendText(want, rows->value(r, c), rows->column(c), form);
                EXPECT_EQ(texts.text(c), want) << "row " << r << " column " << c << " form " << int(form);
            }
        }
    }
}

TEST(RecordTexts, DorvaneSqlEscapesLongTexts) {
    test::TempDir folder;
    const std::string plain(40, 'x');
    const std::vector<std::string> bodies = {
        plain,
        "\t" + plain,
        plain.substr(0, 15) + "\n" + plain,
        plain.substr(0, 16) + "\\" + plain,
        plain + "\r",
        plain.substr(0, 20) + "\r\n" + plain.substr(0, 9) + "\t",
    };
    Connection connection;
    connection.Open("Provider=vfpoledb.1;Data Source=" + folder.path().string());
    connection.Execute("CREATE TABLE t (body M, n I)");
    std::string want = "body\tn\n";
    for (const std::string& body : bodies) {
        connection.Execute("INSERT INTO t (body, n) VALUES ('" + body + "', 7)");
        for (const char c : body) {
            want += c == '\t'   ? "\\t"
                    : c == '\r' ? "\\r"
                    : c == '\n' ? "\\n"
                    : c == '\\' ? "\\\\"
                                : std::string(1, c);
        }
        want += "\t7\n";
    }
    connection.Close();
    const auto out = folder / "out.txt";
    const int status =
        std::system(("'" DORVANE_SQL_BIN "' 'Provider=vfpoledb.1;Data Source=" + folder.path().string() +
                     "' 'SELECT * FROM t' > '" + out.string() + "'")
                        .c_str());
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::readBytes(out), want);
}
