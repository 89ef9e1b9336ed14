#include "provider/format/field.h"

#include <cctype>

#include "provider/error.h"

namespace dorvane::provider {

int fixedWidthOf(char type) {
    switch (type) {
        case 'B': case 'Y': case 'D': case 'T': return 8;
        case 'I': case 'M': case 'G': case 'P': case 'W': return 4;
        case 'L': return 1;
        default: return 0;
    }
}

bool isMemoType(char type) {
    return type == 'M' || type == 'G' || type == 'P' || type == 'W';
}
bool isVariableLengthType(char type) {
    return type == 'V' || type == 'Q';
}

bool Field::isBinary() const {
    switch (type) {
        case 'Q':
        case 'W':
        case 'G':
        case 'P':
            return true;
        case 'C':
        case 'M':
            return (flags & kFieldFlagBinary) != 0;
        default:
            return false;
    }
}

bool Field::isMemo() const {
    return isMemoType(type);
}

bool sameFieldName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

FieldSpec specOf(const Field& field) {
    FieldSpec fieldSpec;
    fieldSpec.name = field.displayName();
    if (!field.longName.empty()) fieldSpec.headerName = field.name;
    fieldSpec.type = field.type;
    fieldSpec.width = field.width;
    fieldSpec.decimals = field.decimals;
    fieldSpec.nullable = field.isNullable();
    fieldSpec.autoIncrement = field.type == 'I' && field.isAutoIncrement();
    fieldSpec.binary =
        (field.type == 'C' || field.type == 'V' || field.type == 'M') && (field.flags & kFieldFlagBinary);
    fieldSpec.autoIncrementNext = field.autoIncrementNext;
    fieldSpec.autoIncrementStep = field.autoIncrementStep;
    return fieldSpec;
}

void validateFieldName(std::string_view name, int maxLength) {
    bool ok = !name.empty() && static_cast<int>(name.size()) <= maxLength &&
              !std::isdigit(static_cast<unsigned char>(name[0]));
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_') ||
            static_cast<unsigned char>(c) > 0x7F)
            ok = false;
    if (!ok) throw ProviderError::make(FoxError::FieldNameInvalid, name);
}

namespace {

// Width and decimals a fieldSpec ends with, or FieldWidthInvalid.
void normaliseWidth(FieldSpec& fieldSpec) {
    auto invalid = [&] { return ProviderError::make(FoxError::FieldWidthInvalid, fieldSpec.name); };
    switch (fieldSpec.type) {
        case 'C':
        case 'V':
        case 'Q':
            if (fieldSpec.width < 1 || fieldSpec.width > 254 || fieldSpec.decimals != 0) throw invalid();
            break;
        case 'N':
        case 'F':
            if (fieldSpec.width < 1 || fieldSpec.width > 20 || fieldSpec.decimals < 0) throw invalid();
            if (fieldSpec.decimals > 0 && fieldSpec.decimals > fieldSpec.width - 2) throw invalid();
            break;
        case 'B':
            if (fieldSpec.decimals < 0 || fieldSpec.decimals > 18) throw invalid();
            fieldSpec.width = 8;
            break;
        case 'Y':
            fieldSpec.width = 8;
            fieldSpec.decimals = 4;
            break;
        case 'D':
        case 'T':
            fieldSpec.width = 8;
            fieldSpec.decimals = 0;
            break;
        case 'I':
            fieldSpec.width = 4;
            fieldSpec.decimals = 0;
            break;
        case 'L':
            fieldSpec.width = 1;
            fieldSpec.decimals = 0;
            break;
        case 'M':
        case 'G':
        case 'P':
        case 'W':
            fieldSpec.width = 4;
            fieldSpec.decimals = 0;
            break;
        default:
            throw ProviderError::make(FoxError::DataTypeMismatch, fieldSpec.name);
    }
    if (fieldSpec.autoIncrement &&
        (fieldSpec.type != 'I' || fieldSpec.autoIncrementStep < 1 || fieldSpec.autoIncrementStep > 255))
        throw invalid();
}

std::uint8_t flagsFor(const FieldSpec& fieldSpec) {
    std::uint8_t flags = 0;
    switch (fieldSpec.type) {
        case 'C':
        case 'V':
        case 'M':
            flags = fieldSpec.binary ? kFieldFlagBinary : 0;
            break;
        case 'G':
        case 'P':
        case 'W':
        case 'Q':
        case 'B':
        case 'I':
        case 'Y':
        case 'T':
            flags = kFieldFlagBinary;
            break;
        default:
            break;
    }
    if (fieldSpec.autoIncrement) flags |= kFieldFlagAutoIncrement;
    if (fieldSpec.nullable) flags |= kFieldFlagNullable;
    return flags;
}

}  // namespace

std::string shortFieldName(std::string_view name, const std::vector<Field>& earlier) {
    std::string upper;
    for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto taken = [&](const std::string& candidate) {
        for (const Field& field : earlier)
            if (sameFieldName(field.name, candidate)) return true;
        return false;
    };
    std::string candidate = upper.substr(0, kMaxFreeFieldName);
    for (int sequence = 2; taken(candidate) && sequence < 100000; ++sequence) {
        const std::string suffix = std::to_string(sequence);
        candidate = upper.substr(0, kMaxFreeFieldName - suffix.size()) + suffix;
    }
    return candidate;
}

std::vector<Field> layoutFields(const std::vector<FieldSpec>& fieldSpecs, int maxNameLength, int& recordLength) {
    std::vector<Field> fields;
    fields.reserve(fieldSpecs.size() + 1);
    std::uint32_t offset = 1;
    int bits = 0;
    for (const FieldSpec& original : fieldSpecs) {
        FieldSpec fieldSpec = original;
        validateFieldName(fieldSpec.name, maxNameLength);
        for (const Field& earlier : fields)
            if (sameFieldName(earlier.displayName(), fieldSpec.name))
                throw ProviderError::make(FoxError::FieldNameInvalid, fieldSpec.name);
        normaliseWidth(fieldSpec);
        Field field;
        field.name = fieldSpec.headerName.empty() ? shortFieldName(fieldSpec.name, fields) : fieldSpec.headerName;
        if (maxNameLength > kMaxFreeFieldName) field.longName = fieldSpec.name;
        field.type = fieldSpec.type;
        field.width = fieldSpec.width;
        field.decimals = fieldSpec.decimals;
        field.flags = flagsFor(fieldSpec);
        field.offset = offset;
        if (fieldSpec.autoIncrement) {
            field.autoIncrementNext = fieldSpec.autoIncrementNext;
            field.autoIncrementStep = fieldSpec.autoIncrementStep;
        }
        if (isVariableLengthType(fieldSpec.type)) field.varLengthBit = bits++;
        if (fieldSpec.nullable) field.nullBit = bits++;
        offset += static_cast<std::uint32_t>(fieldSpec.width);
        fields.push_back(std::move(field));
    }
    if (fields.empty()) throw ProviderError::make(FoxError::FieldNameInvalid);
    if (bits > 0) {
        Field nullFlags;
        nullFlags.name = kNullFlagsName;
        nullFlags.type = kNullFlagsType;
        nullFlags.width = (bits + 7) / 8;
        nullFlags.flags = kFieldFlagSystem | kFieldFlagBinary;
        nullFlags.offset = offset;
        offset += static_cast<std::uint32_t>(nullFlags.width);
        fields.push_back(std::move(nullFlags));
    }
    if (static_cast<int>(fields.size()) > kMaxFields) throw ProviderError::make(FoxError::TooManyFields);
    if (offset > static_cast<std::uint32_t>(kMaxRecordLength))
        throw ProviderError::make(FoxError::RecordTooLong);
    recordLength = static_cast<int>(offset);
    return fields;
}

void assignNullFlagBits(std::vector<Field>& fields) {
    int bits = 0;
    for (Field& field : fields) {
        if (field.isSystem()) continue;
        field.varLengthBit = isVariableLengthType(field.type) ? bits++ : -1;
        field.nullBit = field.isNullable() ? bits++ : -1;
    }
}

}  // namespace dorvane::provider
