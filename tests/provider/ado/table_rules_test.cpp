// Field rules, record rules and defaults of a container: tables declared with them through CREATE
// TABLE in a copy of a real FoxPro container, their Properties read back by an independent reader
// (read_container.py), and statements that each rule must refuse, leaving every file as it was.
#include <gtest/gtest.h>

#include <map>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/error.h"
#include "provider/sql/value_text.h"
#include "tests/provider/format/table_test_support.h"

using namespace dorvane::provider;
namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> filesOf(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename()] = test::readBytes(entry);
    return files;
}

std::string firstRow(Connection& connection, const std::string& select) {
    const auto rows = connection.query(select);
    std::string line;
    for (int c = 0; c < rows->columnCount() && rows->rowCount() > 0; ++c)
        line += (c ? "|" : "") +
                sql::formatForGrid(rows->value(0, c), rows->column(c).type, rows->column(c).decimals);
    return line;
}

TEST(TableRules, EachRuleRefusesWhatBreaksItWritingNothingAndTheContainerKeepsThem) {
    test::TempDir dir;
    const fs::path dbc = dir.copyFixture({"foxprodb/FOXPRO-DB-TEST.DBC", "foxprodb/FOXPRO-DB-TEST.DCT",
                                          "foxprodb/FOXPRO-DB-TEST.DCX", "foxprodb/calls.dbf",
                                          "foxprodb/calls.FPT", "foxprodb/calls.CDX", "foxprodb/contacts.dbf",
                                          "foxprodb/contacts.FPT", "foxprodb/contacts.CDX"});
    Connection connection;
    connection.Open("Provider=vfpoledb.1;Data Source=" + dbc.string() + ";Collating Sequence=machine;");
    struct Case {
        const char* statement;
        int error;            // 0: runs
        const char* message;  // start of the message, or the row the query gives
        const char* query = nullptr;
    };
    const Case cases[] = {
        {R"(CREATE TABLE products (id I, name C(20) CHECK NOT EMPTY(name) ERROR "A product needs a name",
            price Y CHECK price=>0 ERROR 'Price' + ' must not be negative' DEFAULT 1.5,
            qty N(6) DEFAULT 1 CHECK qty > 0, kind C(4) DEFAULT newid(),
            CHECK price < 1000 OR qty < 10 ERROR [Too much stock]))",
         0, ""},
        {"CREATE TABLE notes (n I DEFAULT 7, memo C(10) CHECK spell(memo) ERROR \"x\")", 0, ""},
        {"CREATE TABLE lines (n I, CHECK lineok(n))", 0, ""},
        {"INSERT INTO products (id, name, kind) VALUES (1, 'Tea', 'k')", 0, "1.5|1",
         "SELECT price, qty FROM products"},
        {"INSERT INTO products (id, name, kind, price) VALUES (2, 'Tea', 'k', -1)", 1582,
         "Price must not be negative"},
        {"INSERT INTO products (id, name, kind) VALUES (2, '', 'k')", 1582, "A product needs a name"},
        {"INSERT INTO products (id, name, kind, qty) VALUES (2, 'Tea', 'k', 0)", 1582,
         "Field \"qty\" validation rule is violated."},
        {"INSERT INTO products (id, name, kind, price, qty) VALUES (2, 'Gold', 'k', 2000, 20)", 1583,
         "Too much stock"},
        {"INSERT INTO products (id, name) VALUES (2, 'Tea')", 1,
         "The default value of field \"kind\", newid(),"},
        {"UPDATE products SET price = -5", 1582, "Price must not be negative"},
        {"UPDATE products SET name = '' WHERE id = 1", 1582, "A product needs a name"},
        {"UPDATE products SET qty = 0", 1582, "Field \"qty\" validation rule is violated."},
        {"UPDATE products SET price = 5000, qty = 11", 1583, "Too much stock"},
        {"UPDATE products SET price = 10 WHERE id = 1", 0, "10|1", "SELECT price, qty FROM products"},
        // The editor's row identifier column: the rules still hold after the structure changed.
        {"ALTER TABLE products ADD COLUMN tempidxxx I NULL", 0, ""},
        {"UPDATE products SET tempidxxx = recno()", 0, "1", "SELECT tempidxxx FROM products"},
        {"UPDATE products SET price = -5 WHERE tempidxxx = 1", 1582, "Price must not be negative"},
        {"ALTER TABLE products DROP COLUMN tempidxxx", 0, ""},
        // Rules that call what this program cannot run refuse only the statements that need them.
        {"INSERT INTO notes (n) VALUES (1)", 1, "The validation rule of field \"memo\", spell(memo),"},
        {"UPDATE notes SET memo = 'x'", 1, "The validation rule of field \"memo\", spell(memo),"},
        {"UPDATE notes SET n = 2", 0, ""},
        {"UPDATE lines SET n = 1", 1, "The record validation rule of table \"lines\", lineok(n),"},
        {"INSERT INTO lines (n) VALUES (1)", 1, "The record validation rule of table \"lines\", lineok(n),"},
        {"DELETE FROM lines", 0, ""},
        // FoxPro's own container: only an INSERT that needs the newid() default is refused.
        {"INSERT INTO calls (contact_id, subject) VALUES (1, 'x')", 1,
         "The default value of field \"call_id\", newid(),"},
        {"INSERT INTO calls (call_id, contact_id, subject) VALUES (900, 1, 'x')", 0, "x",
         "SELECT subject FROM calls WHERE call_id = 900"},
        {"UPDATE contacts SET city = 'Oslo' WHERE contact_id = 1", 0, ""},
        {"CREATE TABLE loose FREE (a I DEFAULT 1)", 36, "Command contains unrecognized phrase/keyword."},
    };
    for (const Case& c : cases) {
        const auto before = filesOf(dir.path());
        try {
            connection.Execute(c.statement);
            EXPECT_EQ(c.error, 0) << c.statement;
            if (c.query) EXPECT_EQ(firstRow(connection, c.query), c.message) << c.statement;
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.number(), c.error) << c.statement << ": " << e.message();
            EXPECT_EQ(e.message().rfind(c.message, 0), 0u) << c.statement << ": " << e.message();
            EXPECT_TRUE(filesOf(dir.path()) == before) << c.statement << " changed a file";
        }
    }
    // What CREATE TABLE declared, as an independent reader finds it in the container.
    connection.Close();
    EXPECT_EQ(
        test::runCommand("/usr/bin/python3 '" DORVANE_SOURCE_DIR "/tests/provider/ado/read_container.py' '" +
                         dbc.string() + "' rules products 2>&1"),
        "table|price < 1000 OR qty < 10|[Too much stock]\nfield|id|||\n"
        "field|name|NOT EMPTY(name)|\"A product needs a name\"|\n"
        "field|price|price=>0|'Price' + ' must not be negative'|1.5\nfield|qty|qty > 0||1\n"
        "field|kind|||newid()\n");
}

}  // namespace
