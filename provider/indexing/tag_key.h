// One tag's key and FOR expressions compiled against a table, and the key bytes they give a record.
// Preparing a tag also decides whether this engine can reproduce FoxPro's keys for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "provider/error.h"
#include "provider/format/table.h"
#include "provider/index/cdx_file.h"
#include "provider/indexing/record_row.h"
#include "provider/sql/evaluator.h"

namespace dorvane::provider::indexing {

// The shape of a key expression that reads one field: the field itself, UPPER() or LOWER() of it,
// DTOS() of it. Such keys can be read straight from the record's bytes (direct_key.h).
struct KeyForm {
    enum class Kind { Other, Field, Upper, Lower, Dtos };
    Kind kind = Kind::Other;
    int field = -1;  // visible field index
};

class TagKey {
public:
    // Compiles the tag's expressions against `table`. Raises ProviderError(IndexNotMaintained) whose
    // message names the tag and why its keys cannot be reproduced: a binary tag, an expression that
    // does not compile, a collation other than MACHINE and GENERAL (GENERAL: in code page 1252 only), a
    // result type or width that disagrees with the key length.
    static TagKey prepare(const Table& table, const index::TagInfo& tag, const std::string& indexFile);

    const std::string& name() const { return m_name; }
    index::KeyType keyType() const { return m_keyType; }
    std::uint16_t keyLength() const { return m_keyLength; }
    bool candidate() const { return m_candidate; }
    bool unique() const { return m_unique; }
    // Character keys of GENERAL collation (code page 1252 weights, general_collation.h).
    bool general() const { return m_general; }
    // Whether DELETED() appears in the key or FOR expression (only such tags change on DELETE/RECALL).
    bool usesDeleted() const { return m_usesDeleted; }
    // Visible field indexes either expression reads.
    const std::vector<int>& fieldsUsed() const { return m_fieldsUsed; }
    const KeyForm& form() const { return m_form; }
    bool hasFor() const { return m_for.has_value(); }
    // Whether keys carry the leading null marker byte, and the key length without it.
    bool nullable() const { return m_nullable; }
    std::uint16_t valueLength() const { return m_valueLength; }
    // The table's code page for character keys (null for other key types).
    const CodePage* codePage() const { return m_codePage; }

    // The record's key, or nullopt when the FOR expression does not admit it. Raises what evaluating
    // raises, and CodePageCannotHold / DataTypeMismatch when the value cannot become a key.
    std::optional<std::string> keyOf(const RecordRow& row) const;

private:
    std::string m_name;
    index::KeyType m_keyType = index::KeyType::Character;
    std::uint16_t m_keyLength = 0;
    std::uint16_t m_valueLength = 0;  // key length without the nullable prefix byte
    bool m_nullable = false;
    bool m_candidate = false;
    bool m_unique = false;
    bool m_general = false;
    bool m_usesDeleted = false;
    const CodePage* m_codePage = nullptr;
    sql::CompiledExpr m_key;
    std::optional<sql::CompiledExpr> m_for;
    std::vector<int> m_fieldsUsed;
    KeyForm m_form;
};

using index::tagNotMaintained;

}  // namespace dorvane::provider::indexing
