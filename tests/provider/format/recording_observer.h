// An observer for the table engine tests: records every change it hears, with old and new values, and
// raises to cancel it when `refuse` is set.
#pragma once

#include "provider/error.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider::test {

class RecordingObserver : public TableChangeObserver {
public:
    void onAppend(Table& table, std::uint32_t recno, const std::vector<Value>& values, const char*) override {
        seenOnDisk = table.recordCount();
        events.push_back("append " + std::to_string(recno) + " " + describe(values));
        if (refuse) throw ProviderError::make(FoxError::UniquenessViolated, "PK");
    }
    void onUpdate(Table& table, std::uint32_t recno, const std::vector<Value>& oldValues,
                  const std::vector<Value>& newValues, const char*, const char*) override {
        seenOnDisk = table.recordCount();
        events.push_back("update " + std::to_string(recno) + " " + describe(oldValues) + " -> " +
                         describe(newValues));
        if (refuse) throw ProviderError::make(FoxError::UniquenessViolated, "PK");
    }
    void onDelete(Table&, std::uint32_t recno, bool deleted) override {
        events.push_back(std::string(deleted ? "delete " : "recall ") + std::to_string(recno));
        if (refuse) throw ProviderError::make(FoxError::UniquenessViolated, "PK");
    }
    void onSchemaChange(Table& table) override {
        events.push_back("schema " + std::to_string(table.fieldCount()));
    }

    static std::string describe(const std::vector<Value>& values) {
        std::string text;
        for (const Value& v : values) text += (text.empty() ? "" : "|") + canonical(v);
        return text;
    }

    std::vector<std::string> events;
    std::uint32_t seenOnDisk = 0;
    bool refuse = false;
};

}  // namespace dorvane::provider::test
