#include "provider/indexing/tag_key.h"

#include <algorithm>
#include <cctype>

#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/general_collation.h"
#include "provider/sql/parser.h"

namespace dorvane::provider::indexing {

using index::KeyType;

namespace {

struct TypeAndLength {
    KeyType type;
    int length;  // 0: the expression's character width
};

std::optional<TypeAndLength> keyTypeFor(char resultType) {
    switch (resultType) {
        case 'C':
            return TypeAndLength{KeyType::Character, 0};
        case 'N':
        case 'F':
        case 'B':
            return TypeAndLength{KeyType::Numeric, 8};
        case 'I':
            return TypeAndLength{KeyType::Integer, 4};
        case 'D':
            return TypeAndLength{KeyType::Date, 8};
        case 'T':
            return TypeAndLength{KeyType::DateTime, 8};
        case 'Y':
            return TypeAndLength{KeyType::Currency, 8};
        case 'L':
            return TypeAndLength{KeyType::Logical, 1};
        default:
            return std::nullopt;
    }
}

bool mentionsDeleted(const std::string& expression) {
    std::string upper = expression;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // DELETED() may be written abbreviated to four letters, as any FoxPro function name.
    return upper.find("DELE") != std::string::npos;
}

sql::CompiledExpr compileOrRefuse(const std::string& text, const TableCatalog& catalog,
                                  const std::string& file, const std::string& tag, const char* what) {
    try {
        return sql::compileExpression(text, catalog);
    } catch (const ProviderError& e) {
        throw tagNotMaintained(file, tag,
                               std::string(what) + " " + text + " cannot be evaluated: " + e.message());
    }
}

// A function name as written (upper case) names `full`: in full or cut to four letters or more.
bool names(const std::string& written, std::string_view full) {
    return written == full || (written.size() >= 4 && full.starts_with(written));
}

KeyForm formOf(const std::string& text, const sql::CompiledExpr& compiled) {
    if (compiled.fieldsUsed().size() != 1) return {};
    const sql::ExprPtr e = sql::parseExpression(text);  // compiled already, so it parses
    const int field = compiled.fieldsUsed().front();
    if (e->kind == sql::ExprKind::Field) return {KeyForm::Kind::Field, field};
    if (e->kind != sql::ExprKind::Call || e->args.size() != 1 || e->args[0]->kind != sql::ExprKind::Field)
        return {};
    if (names(e->name, "UPPER")) return {KeyForm::Kind::Upper, field};
    if (names(e->name, "LOWER")) return {KeyForm::Kind::Lower, field};
    if (e->name == "DTOS") return {KeyForm::Kind::Dtos, field};
    return {};
}

}  // namespace

TagKey TagKey::prepare(const Table& table, const index::TagInfo& tag, const std::string& indexFile) {
    TagKey key;
    key.m_name = tag.name;
    key.m_keyLength = tag.keyLength();
    key.m_candidate = tag.candidate();
    key.m_unique = tag.unique();
    const std::string& keyText = tag.header.keyExpression;
    const std::string& forText = tag.header.forExpression;
    key.m_usesDeleted = mentionsDeleted(keyText) || mentionsDeleted(forText);
    if (tag.header.binary())
        throw tagNotMaintained(
            indexFile, tag.name,
            "a binary tag (INDEX ... BINARY), whose bitmap nodes this program does not keep");
    if (!index::collationSupported(tag.collation()))
        throw tagNotMaintained(indexFile, tag.name, "collation " + tag.collation() + " is not supported");
    key.m_general = !index::isMachineCollation(tag.header.collation);

    const TableCatalog catalog(table);
    key.m_key = compileOrRefuse(keyText, catalog, indexFile, tag.name, "key expression");
    if (!forText.empty())
        key.m_for = compileOrRefuse(forText, catalog, indexFile, tag.name, "FOR expression");

    const sql::ExprType result = key.m_key.resultType();
    const auto type = keyTypeFor(result.type);
    if (!type)
        throw tagNotMaintained(indexFile, tag.name,
                               "the key expression " + keyText + " has no key type this program can build");
    key.m_keyType = type->type;
    // GENERAL applies to character keys only; they hold two bytes of weights per character.
    if (key.m_keyType != KeyType::Character) key.m_general = false;
    if (key.m_general && (!table.codePage() || table.codePage()->number() != 1252))
        throw tagNotMaintained(indexFile, tag.name,
                               "collation " + tag.collation() + " is not supported in the table's code page");
    const int valueLength = type->length == 0 ? result.width * (key.m_general ? 2 : 1) : type->length;

    // A key on a nullable field carries a leading null marker byte.
    const auto& used = key.m_key.fieldsUsed();
    const bool nullableField = std::any_of(used.begin(), used.end(), [&](int i) {
        return table.fields()[static_cast<std::size_t>(i)].isNullable();
    });
    if (nullableField && valueLength + 1 == tag.keyLength()) {
        key.m_nullable = true;
        key.m_valueLength = static_cast<std::uint16_t>(valueLength);
    } else if (valueLength == tag.keyLength()) {
        key.m_valueLength = tag.keyLength();
    } else {
        throw tagNotMaintained(indexFile, tag.name,
                               "the key expression " + keyText + " gives keys of " +
                                   std::to_string(valueLength) + " bytes, the tag holds " +
                                   std::to_string(tag.keyLength()));
    }
    if (key.m_keyType == KeyType::Character) {
        key.m_codePage = table.codePage();
        if (!key.m_codePage)
            throw tagNotMaintained(indexFile, tag.name, "the table's code page is not supported");
    }

    key.m_form = formOf(keyText, key.m_key);
    key.m_fieldsUsed = used;
    if (key.m_for)
        key.m_fieldsUsed.insert(key.m_fieldsUsed.end(), key.m_for->fieldsUsed().begin(),
                                key.m_for->fieldsUsed().end());
    std::sort(key.m_fieldsUsed.begin(), key.m_fieldsUsed.end());
    key.m_fieldsUsed.erase(std::unique(key.m_fieldsUsed.begin(), key.m_fieldsUsed.end()),
                           key.m_fieldsUsed.end());
    return key;
}

std::optional<std::string> TagKey::keyOf(const RecordRow& row) const {
    if (m_for && !m_for->matches(row)) return std::nullopt;
    const Value value = m_key.evaluate(row);
    if (m_nullable && std::holds_alternative<std::monostate>(value))
        return index::encodeNullableKey(std::nullopt, m_valueLength);
    std::string bytes;
    if (m_keyType == KeyType::Character) {
        if (!std::holds_alternative<std::string>(value))
            throw ProviderError::make(FoxError::DataTypeMismatch);
        const std::string text = m_codePage->encode(std::get<std::string>(value));
        bytes = m_general ? encodeGeneralKey(text, m_valueLength)
                          : index::encodeCharacterKey(text, m_valueLength);
    } else {
        bytes = index::encodeKey(value, m_keyType, m_valueLength);
    }
    if (m_nullable) return index::encodeNullableKey(bytes, m_valueLength);
    return bytes;
}

}  // namespace dorvane::provider::indexing
