// Working out every tag's keys from a table's records, for building its index anew: tags DirectKey
// covers read the records' bytes from the file in large blocks (on several threads for big tables),
// the others go through TagKey::keyOf record by record.
#pragma once

#include <vector>

#include "provider/format/table.h"
#include "provider/index/key_sort.h"
#include "provider/indexing/tag_key.h"

namespace dorvane::provider::indexing {

// Per tag, the key of every record its FOR clause admits (deleted records included), in record
// order. Raises what TagKey::keyOf raises for the first record it refuses, and what reading the
// table raises.
std::vector<index::FlatKeys> keysFromRecords(Table& table, const std::vector<TagKey>& tags);

}  // namespace dorvane::provider::indexing
