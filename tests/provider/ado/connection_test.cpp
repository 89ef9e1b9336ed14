// A recordset walking its rows and finding fields by name (opening connections, containers and their
// failures are in statement_cases.txt).
#include "provider/ado/connection.h"

#include <gtest/gtest.h>

#include "provider/ado/recordset.h"
#include "provider/error.h"
#include "tests/provider/format/table_test_support.h"

using namespace dorvane::provider;

TEST(RecordsetReading, WalksRowsForwardAndFindsFieldsByName) {
    Recordset rows;
    rows.openOver(std::make_shared<MemoryRowSource>(
        std::vector<ColumnInfo>{{"TABLE_NAME", 'C'}, {"TABLE_TYPE", 'C'}},
        std::vector<std::vector<Value>>{{std::string("customers"), std::string("TABLE")},
                                        {std::string("orders"), std::string("TABLE")}}));
    std::vector<std::string> names;
    for (; !rows.Eof(); rows.MoveNext())
        names.push_back(std::get<std::string>(rows.Fields()["table_name"].Value()));
    EXPECT_EQ(names, (std::vector<std::string>{"customers", "orders"}));
    EXPECT_EQ(rows.Fields().count(), 2);
    EXPECT_EQ(rows.Fields()[1].name(), "TABLE_TYPE");
    EXPECT_THROW(rows.Fields()["nope"], ProviderError);
    EXPECT_THROW(rows.Fields()[0].Value(), ProviderError);  // at EOF
    rows.Close();
    EXPECT_EQ(rows.state(), kStateClosed);
}
