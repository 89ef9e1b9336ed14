// End to end with the table engine: an observer that mirrors record changes of a copied FoxPro table
// into its structural index with this layer's API; the independent checker then agrees.
#include "provider/format/table_observer.h"

#include <gtest/gtest.h>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/format/table.h"
#include "provider/index/key_encoding.h"

namespace dorvane::provider::index::test {
namespace {
namespace fs = std::filesystem;

// Keys contacts' two integer tags (CONTACT_ID on contact_id, TYPE_ID on contact_type_id).
class ContactsIndexer : public TableChangeObserver {
public:
    explicit ContactsIndexer(CdxFile& cdx) : m_cdx(cdx) {
        for (const TagInfo& t : cdx.tags()) m_cdx.setKeyType(t.name, KeyType::Integer);
    }

    void onAppend(Table& table, std::uint32_t recno, const std::vector<Value>& values, const char*) override {
        for (const auto& [tag, field] : tags(table))
            m_cdx.insert(tag, encodeKey(values[field], KeyType::Integer, 4), recno);
    }
    void onUpdate(Table& table, std::uint32_t recno, const std::vector<Value>& oldValues,
                  const std::vector<Value>& newValues, const char*, const char*) override {
        // Candidate checks first for every tag, so a refusal leaves all tags as they were.
        for (const auto& [tag, field] : tags(table))
            m_cdx.checkCandidate(tag, encodeKey(newValues[field], KeyType::Integer, 4), recno);
        for (const auto& [tag, field] : tags(table))
            m_cdx.update(tag, encodeKey(oldValues[field], KeyType::Integer, 4),
                         encodeKey(newValues[field], KeyType::Integer, 4), recno);
    }
    void onDelete(Table&, std::uint32_t, bool) override {}  // deleted records stay in these tags
    void onSchemaChange(Table&) override {}

private:
    static std::vector<std::pair<std::string, int>> tags(Table& table) {
        return {{"CONTACT_ID", table.fieldIndex("contact_id")}, {"TYPE_ID", table.fieldIndex("contact_ty")}};
    }
    CdxFile& m_cdx;
};

TEST(TableObserverIndex, ChangesThroughTheTableEngineKeepTheIndexTrue) {
    DORVANE_NEEDS_CDX_CHECK();
    const fs::path dir = copyFoxproDb("engine");
    const fs::path dbf = dir / "contacts.dbf";
    CdxFile cdx = CdxFile::open((dir / "contacts.CDX").string(), true);
    ContactsIndexer indexer(cdx);
    {
        auto table = Table::open(dbf, OpenMode::Shared);
        const int id = table->fieldIndex("contact_id");
        const int type = table->fieldIndex("contact_ty");
        ASSERT_GE(id, 0);
        ASSERT_GE(type, 0);
        // Without the observer the engine refuses to write an indexed table.
        EXPECT_THROW(table->update(1, {{type, Value{std::int64_t{2}}}}), ProviderError);
        table->setChangeObserver(&indexer);
        table->update(1, {{type, Value{std::int64_t{2}}}});
        table->update(2, {{id, Value{std::int64_t{40}}}, {type, Value{std::int64_t{9}}}});
        const std::uint32_t added =
            table->append({{id, Value{std::int64_t{6}}}, {type, Value{std::int64_t{1}}}});
        EXPECT_EQ(added, 6u);
        table->setDeleted(3, true);
        // A candidate violation is refused before anything is written, in the table or the index.
        const std::string indexBefore = readBytes(dir / "contacts.CDX");
        try {
            table->update(4, {{id, Value{std::int64_t{40}}}, {type, Value{std::int64_t{1}}}});
            ADD_FAILURE() << "duplicate CONTACT_ID accepted";
        } catch (const ProviderError& e) {
            EXPECT_EQ(e.number(), 1884);
        }
        EXPECT_EQ(readBytes(dir / "contacts.CDX"), indexBefore);
        EXPECT_EQ(std::get<std::int64_t>(table->value(4, id)), 4);
    }
    std::string out;
    EXPECT_EQ(runCdxCheck(dbf, out), 0) << out;
    EXPECT_NE(out.find("OK tag CONTACT_ID"), std::string::npos) << out;
    EXPECT_NE(out.find("OK tag TYPE_ID"), std::string::npos) << out;
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dorvane::provider::index::test
