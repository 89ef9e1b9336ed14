// The index layer's hook: an observer hears every change, with old and new values, before it reaches
// the disk; raising cancels it.
#include <gtest/gtest.h>

#include "provider/error.h"
#include "provider/format/table.h"
#include "recording_observer.h"

namespace dorvane::provider {
namespace {

using test::fieldSpec;

TEST(TableObserver, HearsEveryChangeWithOldAndNewValuesBeforeItIsWritten) {
    test::TempDir dir;
    FieldSpec id = fieldSpec("ID", 'I');
    id.autoIncrement = true;
    auto table =
        Table::create(dir / "o.dbf", {id, fieldSpec("NAME", 'C', 8), fieldSpec("NOTES", 'M', 0, 0, true)});
    test::RecordingObserver observer;
    table->setChangeObserver(&observer);
    table->append({{1, std::string("ann  ")}, {2, std::string("memo")}});
    EXPECT_EQ(observer.seenOnDisk, 0u);  // told before the count changed
    table->update(1, {{1, std::string("bob")}, {2, std::monostate{}}});
    table->setDeleted(1, true);
    table->setDeleted(1, false);
    table->addField(fieldSpec("EXTRA", 'L'));
    EXPECT_EQ(observer.events, (std::vector<std::string>{"append 1 1.0000|ann|memo",
                                                         "update 1 1.0000|ann|memo -> 1.0000|bob|NULL",
                                                         "delete 1", "recall 1", "schema 4"}));
    // Raising cancels the change.
    observer.refuse = true;
    const std::string before = test::readBytes(dir / "o.dbf");
    EXPECT_THROW(table->append({{1, std::string("new")}}), ProviderError);
    EXPECT_THROW(table->update(1, {{1, std::string("changed")}, {2, std::string("new memo")}}),
                 ProviderError);
    EXPECT_THROW(table->setDeleted(1, true), ProviderError);
    EXPECT_TRUE(test::readBytes(dir / "o.dbf") == before);
    EXPECT_EQ(table->recordCount(), 1u);
    EXPECT_EQ(table->record(1), (std::vector<Value>{std::int64_t{1}, std::string("bob"), Value{}, false}));
}

}  // namespace
}  // namespace dorvane::provider
