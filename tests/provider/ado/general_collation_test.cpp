// Tables whose structural index holds GENERAL tags (kept true through every change) or VFP 9 binary
// tags or GENERAL tags of other code pages (readable, every change refused naming the tag), through
// Connection::Execute.
#include <gtest/gtest.h>

#include <fstream>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/ado/table_rows.h"
#include "provider/error.h"
#include "provider/format/header.h"
#include "provider/format/table.h"
#include "provider/index/cdx_file.h"
#include "tests/provider/format/table_test_support.h"
#include "tests/support/cdx_check.h"

using namespace dorvane::provider;
using dorvane::provider::test::TempDir;
namespace fs = std::filesystem;

namespace {

// A table of our own: a candidate GENERAL tag on name, a descending GENERAL tag with a FOR clause on
// UPPER(city), and a MACHINE tag, all empty.
void createPeople(const TempDir& dir) {
    const fs::path dbf = dir / "people.dbf";
    Table::create(dbf, {test::fieldSpec("name", 'C', 20), test::fieldSpec("city", 'C', 15),
                        test::fieldSpec("id", 'I', 4)})
        .reset();
    {
        std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(28);
        file.put(static_cast<char>(kTableFlagStructuralIndex));
    }
    index::TagDefinition name{"NAME", "name", "", 40, index::KeyType::Character, false, true};
    index::TagDefinition city{"CITY", "UPPER(city)", "city=>\"B\"", 30, index::KeyType::Character};
    city.descending = true;
    name.collation = city.collation = "GENERAL";
    index::TagDefinition id{"ID", "id", "", 4, index::KeyType::Integer};
    index::CdxFile::create((dir / "people.cdx").string(), {{name, {}, {}}, {city, {}, {}}, {id, {}, {}}});
}

std::int64_t count(Connection& c, const std::string& table) {
    Recordset rs;
    rs.CursorLocation = 3;
    rs.Open("SELECT * FROM " + table, c, 2, 3);
    return rs.DataSource()->rowCount();
}

TEST(GeneralCollation, ChangesKeepEveryTagTrue) {
    DORVANE_NEEDS_CDX_CHECK();
    TempDir dir;
    dir.copyFixture({"general/fb2p_depto.dbf", "general/fb2p_depto.cdx"});
    createPeople(dir);
    Connection c;
    c.Open("Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";Collating Sequence=general;");
    const struct {
        const char* table;
        const char* statement;
        int error;  // 0: succeeds
    } steps[] = {
        {"fb2p_depto", "INSERT INTO fb2p_depto (depto, descrip) VALUES ('2', 'Ærøskøbing Straße')", 0},
        {"fb2p_depto", "INSERT INTO fb2p_depto (depto, descrip) VALUES ('0a', 'ÉCOLE normale')", 0},
        {"fb2p_depto", "UPDATE fb2p_depto SET descrip = 'Œuvre ß ÿ' WHERE depto = '2'", 0},
        {"fb2p_depto", "DELETE FROM fb2p_depto WHERE depto = '0a'", 0},
        {"people", "INSERT INTO people (name, city, id) VALUES ('Müller', 'Zürich', 1)", 0},
        {"people", "INSERT INTO people (name, city, id) VALUES ('Muller', 'bern', 2)", 0},
        {"people", "INSERT INTO people (name, city, id) VALUES ('Æsir þing', 'Århus', 3)", 0},
        {"people", "INSERT INTO people (name, city, id) VALUES ('MÜLLER', 'Basel', 4)", 1884},
        {"people", "UPDATE people SET name = 'muller' WHERE id = 1", 1884},
        {"people", "UPDATE people SET name = 'Straße', city = 'Aachen' WHERE id = 2", 0},
        {"people", "INSERT INTO people (name, city, id) VALUES ('STRASSE', 'Köln', 5)", 1884},
        {"people", "DELETE FROM people WHERE id = 1", 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.statement);
        int error = 0;
        try {
            c.Execute(s.statement);
        } catch (const ProviderError& e) {
            error = e.number();
        }
        EXPECT_EQ(error, s.error);
        const auto check = dorvane::test::runCdxCheck(dir / (std::string(s.table) + ".dbf"));
        EXPECT_EQ(check.exitCode, 0) << check.output;
    }
}

// ORDER BY and comparisons follow the Collating Sequence: GENERAL by FoxPro's weights, MACHINE by bytes.
TEST(GeneralCollation, OrderByAndComparisonsFollowTheCollatingSequence) {
    TempDir dir;
    Table::create(dir / "words.dbf", {test::fieldSpec("w", 'C', 10)}).reset();
    const struct {
        const char* collation;
        const char* select;
        std::vector<std::string> expected;
    } cases[] = {
        {"general", "SELECT w FROM words ORDER BY w", {"Ábaco", "aero", "Ærø", "zebra", "Zèbre"}},
        {"general", "SELECT w FROM words ORDER BY 1 DESC", {"Zèbre", "zebra", "Ærø", "aero", "Ábaco"}},
        {"general", "SELECT w FROM words WHERE w < 'B' ORDER BY w", {"Ábaco", "aero", "Ærø"}},
        {"general", "SELECT w FROM words WHERE w = 'ZEBRA'", {"zebra"}},
        {"machine", "SELECT w FROM words ORDER BY w", {"Zèbre", "aero", "zebra", "Ábaco", "Ærø"}},
        {"machine", "SELECT w FROM words WHERE w = 'ZEBRA'", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.select);
        Connection connection;
        connection.Open("Provider=vfpoledb.1;Data Source=" + dir.path().string() +
                        ";Collating Sequence=" + c.collation + ";");
        if (count(connection, "words") == 0)
            for (const char* w : {"Zèbre", "aero", "zebra", "Ábaco", "Ærø"})
                connection.Execute(std::string("INSERT INTO words (w) VALUES ('") + w + "')");
        Recordset rs;
        rs.CursorLocation = 3;
        rs.Open(c.select, connection, 2, 3);
        std::vector<std::string> got;
        for (std::int64_t r = 0; r < rs.DataSource()->rowCount(); ++r) {
            std::string w = std::get<std::string>(rs.DataSource()->value(r, 0));
            got.push_back(w.substr(0, w.find_last_not_of(' ') + 1));
        }
        EXPECT_EQ(got, c.expected);
    }
}

// Binary tags, and GENERAL tags outside code page 1252 (fb2p_depto marked as code page 437 here).
TEST(ReadOnlyIndexes, TablesStayReadableAndRefuseEveryChangeNamingTheTag) {
    const struct {
        const char* table;
        const char* tag;
        char codePageMark;  // 0: as FoxPro wrote it
        std::int64_t records;
        const char* changes[3];
    } cases[] = {
        {"fb2p_dbf",
         "NOTDELETED",
         0,
         5,
         {"INSERT INTO fb2p_dbf (nombre, edad) VALUES ('Zoë', 50)", "UPDATE fb2p_dbf SET edad = edad + 1",
          "DELETE FROM fb2p_dbf WHERE edad = 45"}},
        {"fb2p_free",
         "LOGICO",
         0,
         4,
         {"INSERT INTO fb2p_free (caracter) VALUES ('x')", "UPDATE fb2p_free SET logico = .F.",
          "DELETE FROM fb2p_free"}},
        {"fb2p_depto",
         "DESCRIP",
         0x01,
         1,
         {"INSERT INTO fb2p_depto (depto) VALUES ('x')", "UPDATE fb2p_depto SET descrip = 'b'",
          "DELETE FROM fb2p_depto"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        TempDir dir;
        std::string before;
        for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
            const std::string file = std::string("general/") + c.table + ext;
            if (fs::exists(test::fixturePath(file))) dir.copyFixture({file});
        }
        if (c.codePageMark) {
            std::fstream dbf(dir / (c.table + std::string(".dbf")),
                             std::ios::in | std::ios::out | std::ios::binary);
            dbf.seekp(29);
            dbf.put(c.codePageMark);
        }
        const auto bytes = [&] {
            std::string all;
            for (const char* ext : {".dbf", ".cdx", ".fpt"})
                all += test::readBytes(dir / (c.table + std::string(ext)));
            return all;
        };
        before = bytes();
        Connection connection;
        connection.Open("Provider=vfpoledb.1;Data Source=" + dir.path().string() + ";");
        EXPECT_EQ(count(connection, c.table), c.records);
        for (const char* change : c.changes) {
            try {
                connection.Execute(change);
                ADD_FAILURE() << change << " was not refused";
            } catch (const ProviderError& e) {
                EXPECT_EQ(e.number(), 1999) << change;
                EXPECT_NE(e.message().find(std::string("\"") + c.tag + "\""), std::string::npos)
                    << e.message();
            }
        }
        EXPECT_EQ(bytes(), before);
    }
}

}  // namespace
