// Opening a data source from a ConnectionString, and the failures the provider reports for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/error.h"

namespace fs = std::filesystem;
using namespace dorvane::provider;

namespace {

struct TempFolder {
    fs::path path;
    TempFolder() {
        path = fs::temp_directory_path() / ("dorvane-conn-" + std::to_string(::getpid()) + "-" + std::to_string(rand()));
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
};

ProviderError openError(const std::string& connectionString) {
    Connection connection;
    try {
        connection.Open(connectionString);
    } catch (const ProviderError& e) {
        EXPECT_EQ(connection.state(), kStateClosed);
        return e;
    }
    ADD_FAILURE() << "opened: " << connectionString;
    return ProviderError::make(FoxError::SyntaxError);
}

}  // namespace

TEST(ConnectionStringParsing, KeysAreCaseInsensitiveAndTailsAreRead) {
    const auto plain = parseConnectionString("Provider=vfpoledb.1;Data Source=/d/x y;Collating Sequence=general;");
    EXPECT_EQ(plain.dataSource, "/d/x y");
    EXPECT_EQ(plain.collation, Collation::General);
    EXPECT_FALSE(plain.exclusive);

    const auto exclusive = parseConnectionString("PROVIDER=VFPOLEDB.1; data source = /d/shop.dbc ;collating sequence=MACHINE;Mode=Share Exclusive");
    EXPECT_EQ(exclusive.dataSource, "/d/shop.dbc");
    EXPECT_EQ(exclusive.collation, Collation::Machine);
    EXPECT_TRUE(exclusive.exclusive);

    EXPECT_TRUE(parseConnectionString("Data Source=/d;mode=share exclusive;").exclusive);
    EXPECT_EQ(parseConnectionString("Data Source=\"/d/a;b\";").dataSource, "/d/a;b");
}

TEST(ConnectionStringParsing, RejectsOtherProvidersAndCollations) {
    EXPECT_THROW(parseConnectionString("Provider=sqloledb;Data Source=/d;"), ProviderError);
    EXPECT_THROW(parseConnectionString("Provider=vfpoledb.1;Data Source=/d;Collating Sequence=klingon;"), ProviderError);
    EXPECT_THROW(parseConnectionString("Provider=vfpoledb.1;Data Source=\"/d;"), ProviderError);
}

TEST(ConnectionOpen, OpensAnExistingFolderOrContainerOnly) {
    TempFolder folder;
    Connection connection;
    connection.Open("Provider=vfpoledb.1;Data Source=" + folder.path.string() + ";Collating Sequence=general;");
    EXPECT_EQ(connection.state(), kStateOpen);
    EXPECT_FALSE(connection.isContainer());
    EXPECT_THROW(connection.Open("Provider=vfpoledb.1;Data Source=" + folder.path.string() + ";"), ProviderError);
    connection.Close();
    EXPECT_EQ(connection.state(), kStateClosed);
    EXPECT_THROW(connection.Close(), ProviderError);

    for (const char* name : {"FOXPRO-DB-TEST.DBC", "FOXPRO-DB-TEST.DCT", "FOXPRO-DB-TEST.DCX"}) {
        fs::copy_file(fs::path(DORVANE_FIXTURES) / "foxprodb" / name, folder.path / name);
    }
    const fs::path dbc = folder.path / "FOXPRO-DB-TEST.DBC";
    Connection container;
    container.Open("Provider=vfpoledb.1;Data Source=" + dbc.string() + ";Collating Sequence=machine;mode=share exclusive");
    EXPECT_TRUE(container.isContainer());
    EXPECT_TRUE(container.settings().exclusive);
}

TEST(ConnectionOpen, FailuresCarryEFailAndFoxProsNumber) {
    TempFolder folder;
    std::ofstream(folder.path / "plain.txt") << "x";
    const std::string cases[] = {
        "Provider=vfpoledb.1;Data Source=;Collating Sequence=machine;",
        "Provider=vfpoledb.1;Data Source=" + (folder.path / "missing").string() + ";Collating Sequence=general;",
        "Provider=vfpoledb.1;Data Source=" + (folder.path / "missing.dbc").string() + ";Collating Sequence=machine;",
        "Provider=vfpoledb.1;Data Source=" + (folder.path / "plain.txt").string() + ";Collating Sequence=machine;",
    };
    for (const auto& text : cases) {
        const ProviderError e = openError(text);
        EXPECT_EQ(e.hresult(), 0x80004005u) << text;
        EXPECT_EQ(e.number(), 1) << text;
    }
    EXPECT_EQ(openError(cases[0]).message(), "File does not exist.");
    // A file that only looks like a container by its name.
    std::ofstream(folder.path / "bogus.dbc") << "not a table";
    EXPECT_EQ(openError("Provider=vfpoledb.1;Data Source=" + (folder.path / "bogus.dbc").string() + ";").number(), 15);
}

TEST(RecordsetReading, WalksRowsForwardAndFindsFieldsByName) {
    Recordset rows;
    rows.openOver(std::make_shared<MemoryRowSource>(
        std::vector<ColumnInfo>{{"TABLE_NAME", 'C'}, {"TABLE_TYPE", 'C'}},
        std::vector<std::vector<Value>>{{std::string("customers"), std::string("TABLE")},
                                        {std::string("orders"), std::string("TABLE")}}));
    std::vector<std::string> names;
    for (; !rows.Eof(); rows.MoveNext()) names.push_back(std::get<std::string>(rows.Fields()["table_name"].Value()));
    EXPECT_EQ(names, (std::vector<std::string>{"customers", "orders"}));
    EXPECT_EQ(rows.Fields().count(), 2);
    EXPECT_EQ(rows.Fields()[1].name(), "TABLE_TYPE");
    EXPECT_THROW(rows.Fields()["nope"], ProviderError);
    EXPECT_THROW(rows.Fields()[0].Value(), ProviderError);  // at EOF
    rows.Close();
    EXPECT_EQ(rows.state(), kStateClosed);
}
