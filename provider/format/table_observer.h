// The hook through which an index layer learns of every change to a table before it reaches the disk.
// A table with a structural index accepts writes only while such an observer is attached.
#pragma once

#include <cstdint>
#include <vector>

#include "provider/value.h"

namespace dorvane::provider {

class Table;

class TableChangeObserver {
public:
    virtual ~TableChangeObserver() = default;
    // Before a record is appended; `values` holds every visible field in field order, `record` the
    // record's bytes (deletion flag first; memo pointers not yet set). Raising cancels the append and
    // nothing is written.
    virtual void onAppend(Table& table, std::uint32_t recno, const std::vector<Value>& values,
                          const char* record) = 0;
    // Before a record is rewritten in place, with its values and bytes before and after (memo pointers
    // of the new bytes not yet set). Raising cancels the update.
    virtual void onUpdate(Table& table, std::uint32_t recno, const std::vector<Value>& oldValues,
                          const std::vector<Value>& newValues, const char* oldRecord,
                          const char* newRecord) = 0;
    // Before a record's deletion flag is set (`deleted`) or cleared. Raising cancels it.
    virtual void onDelete(Table& table, std::uint32_t recno, bool deleted) = 0;
    // After a structure change has replaced the .dbf, while the table is still held exclusively;
    // the observer rebuilds whatever depends on the old structure.
    virtual void onSchemaChange(Table& table) = 0;
    // In shared use: a writer took its hold on the table (`held`, after the table took in what others
    // changed; raising gives the hold up) or is letting go (`failed` when a change made under the hold
    // did not complete). Letting go must not raise.
    virtual void onWriteHold(Table& table, bool held, bool failed) { (void)table, (void)held, (void)failed; }
};

}  // namespace dorvane::provider
