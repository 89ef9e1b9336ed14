// Database containers: listing the fixture's tables and long field names, following a member
// table's backlink, the PROPERTY encoding, and adding/removing object records once the .dcx is kept.
#include "provider/format/container.h"

#include <gtest/gtest.h>

#include "provider/error.h"
#include "provider/format/container_properties.h"
#include "provider/format/table_observer.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

const std::vector<std::string> kContainerFiles = {
    "foxprodb/FOXPRO-DB-TEST.DBC", "foxprodb/FOXPRO-DB-TEST.DCT", "foxprodb/FOXPRO-DB-TEST.DCX",
    "foxprodb/types.dbf",          "foxprodb/types.CDX",          "foxprodb/contacts.dbf",
    "foxprodb/contacts.FPT",       "foxprodb/contacts.CDX",       "foxprodb/calls.dbf",
    "foxprodb/calls.FPT",          "foxprodb/calls.CDX",          "foxprodb/setup.dbf",
    "foxprodb/setup.CDX"};

TEST(Container, ListsTablesAndLongFieldNamesWhichMemberTablesFollowTheirBacklinkTo) {
    auto container = Container::open(test::fixturePath("foxprodb/FOXPRO-DB-TEST.DBC"));
    std::vector<std::string> names;
    for (const ContainerTable& t : container->tables()) {
        names.push_back(t.name);
        EXPECT_TRUE(std::filesystem::exists(t.path)) << t.path;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"types", "setup", "contacts", "calls"}));
    const ContainerTable* types = container->findTable("TYPES");
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(types->relativePath, "types.dbf");
    ASSERT_EQ(types->fields.size(), 2u);
    EXPECT_EQ(types->fields[1].name, "contact_type");
    EXPECT_EQ(container->findTable("nope"), nullptr);
    EXPECT_THROW(container->openTable("nope"), ProviderError);

    auto contacts = container->openTable("contacts");
    const int typeId = contacts->fieldIndex("contact_type_id");
    ASSERT_GE(typeId, 0);
    EXPECT_EQ(contacts->fields()[static_cast<std::size_t>(typeId)].name, "CONTACT_TY");
    EXPECT_EQ(contacts->fieldIndex("CONTACT_TY"), typeId);
    // Opened alone, a member table follows its backlink to the long names.
    contacts = openTableWithLongNames(test::fixturePath("foxprodb/contacts.dbf"));
    EXPECT_EQ(contacts->containerPath().value_or("").filename(), "FOXPRO-DB-TEST.DBC");
    EXPECT_EQ(contacts->fields().back().displayName(), "contacts_interests");
    // A free table, and a member whose container is missing, keep their header names.
    EXPECT_EQ(openTableWithLongNames(test::fixturePath("dbase_30.dbf"))->fields()[0].displayName(),
              "ACCESSNO");
    EXPECT_EQ(openTableWithLongNames(test::fixturePath("dbase_31.dbf"))->fields()[1].displayName(),
              "PRODUCTNAM");
}

TEST(Container, PropertyEntriesRoundTripAndMalformedOnesAreRefused) {
    const PropertyMap properties = {{kPropertyPath, textProperty("a/b.dbf")},
                                    {kPropertySubType, std::string(1, '\x01')},
                                    {24, std::string("\0\0\0\x0a", 4)},
                                    {300, std::string("wide id")}};
    const std::string memo = encodeProperties(properties);
    EXPECT_EQ(parseProperties(memo), properties);
    EXPECT_EQ(propertyText(properties, kPropertyPath), "a/b.dbf");
    for (const std::string& bad :
         {memo.substr(0, memo.size() - 1), std::string("\x03\0\0\0\x01\0\x01", 7),
          std::string("\xff\0\0\0\x01\0\x01", 7), std::string("\x09\0\0\0\x05\0\x01\x02\x03", 9)}) {
        EXPECT_TRUE(test::raises(FoxError::DbcInconsistent, [&] { parseProperties(bad); }));
    }
}

// Stands in for the index layer: accepts every change, counting them.
struct AcceptingObserver final : TableChangeObserver {
    int changes = 0;
    void onAppend(Table&, std::uint32_t, const std::vector<Value>&, const char*) override { ++changes; }
    void onUpdate(Table&, std::uint32_t, const std::vector<Value>&, const std::vector<Value>&, const char*,
                  const char*) override {
        ++changes;
    }
    void onDelete(Table&, std::uint32_t, bool) override { ++changes; }
    void onSchemaChange(Table&) override {}
};

TEST(Container, ObjectRecordsFollowTablesAndFieldsWhenTheIndexIsKept) {
    test::TempDir dir;
    const auto dbc = dir.copyFixture(kContainerFiles);
    Table::create(dir / "orders.dbf",
                  {test::fieldSpec("ORDER_ID", 'I'), test::fieldSpec("CUSTOMER_N", 'C', 30)})
        .reset();
    AcceptingObserver observer;
    {
        auto container = Container::open(dbc, OpenMode::Exclusive);
        container->dbcTable().setChangeObserver(&observer);
        container->addTable("Orders", dir / "orders.dbf", {"order_id", "customer_name"});
        ASSERT_EQ(container->tables().size(), 5u);
        EXPECT_EQ(container->tables().back().name, "orders");
        EXPECT_EQ(container->tables().back().relativePath, "orders.dbf");
        EXPECT_THROW(container->addTable("orders", dir / "orders.dbf", {}), ProviderError);

        container->renameField("orders", "customer_name", "client_name");
        container->addField("orders", "shipped_on");
        container->removeField("types", "contact_type");
        EXPECT_THROW(container->renameField("orders", "order_id", "client_name"), ProviderError);
        EXPECT_THROW(container->removeField("orders", "missing"), ProviderError);
        EXPECT_GT(observer.changes, 0);
    }
    auto reopened = Container::open(dbc);
    const ContainerTable* orders = reopened->findTable("orders");
    ASSERT_NE(orders, nullptr);
    std::vector<std::string> fields;
    for (const ContainerField& f : orders->fields) fields.push_back(f.name);
    EXPECT_EQ(fields, (std::vector<std::string>{"order_id", "client_name", "shipped_on"}));
    EXPECT_EQ(reopened->findTable("types")->fields.size(), 1u);

    auto member = openTableWithLongNames(dir / "orders.dbf");
    EXPECT_EQ(member->header().backlink, "foxpro-db-test.dbc");
    EXPECT_EQ(member->fields()[1].displayName(), "client_name");
    member.reset();
    reopened.reset();

    auto container = Container::open(dbc, OpenMode::Exclusive);
    container->dbcTable().setChangeObserver(&observer);
    container->removeTable("orders");
    EXPECT_EQ(container->findTable("orders"), nullptr);
    EXPECT_EQ(container->tables().size(), 4u);
    container.reset();
    EXPECT_TRUE(Table::open(dir / "orders.dbf")->header().backlink.empty());
}

TEST(Container, MemberTablesTakeLongNamesAndDeriveHeaderNamesAsVfpDoes) {
    test::TempDir dir;
    CreateOptions options;
    options.backlink = "sales.dbc";
    auto table = Table::create(
        dir / "member.dbf",
        {test::fieldSpec("contact_type_id", 'I'), test::fieldSpec("contact_type", 'C', 10)}, options);
    EXPECT_EQ(table->fields()[0].name, "CONTACT_TY");
    EXPECT_EQ(table->fields()[1].name, "CONTACT_T2");
    EXPECT_EQ(table->fields()[1].displayName(), "contact_type");
    table->addField(test::fieldSpec("contact_type_extra_with_a_long_name", 'L'));
    EXPECT_EQ(table->fields()[2].name, "CONTACT_T3");
    EXPECT_EQ(table->fieldIndex("contact_type"), 1);
    EXPECT_EQ(table->fieldIndex("CONTACT_T2"), 1);
    EXPECT_THROW(table->addField(test::fieldSpec(std::string(129, 'x'), 'L')), ProviderError);
    table->dropField("contact_type_id");
    EXPECT_EQ(table->fields()[0].name, "CONTACT_T2");  // kept: the container maps names by position
    EXPECT_EQ(table->header().backlink, "sales.dbc");
}

}  // namespace
}  // namespace dorvane::provider
