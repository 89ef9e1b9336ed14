#include "provider/format/field.h"

#include <cctype>

#include "provider/error.h"

namespace dorvane::provider {

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
    FieldSpec spec;
    spec.name = field.displayName();
    if (!field.longName.empty()) spec.headerName = field.name;
    spec.type = field.type;
    spec.width = field.width;
    spec.decimals = field.decimals;
    spec.nullable = field.isNullable();
    spec.autoIncrement = field.type == 'I' && field.isAutoIncrement();
    spec.binary =
        (field.type == 'C' || field.type == 'V' || field.type == 'M') && (field.flags & kFieldFlagBinary);
    spec.autoIncrementNext = field.autoIncrementNext;
    spec.autoIncrementStep = field.autoIncrementStep;
    return spec;
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

// Width and decimals a spec ends with, or FieldWidthInvalid.
void normaliseWidth(FieldSpec& spec) {
    auto invalid = [&] { return ProviderError::make(FoxError::FieldWidthInvalid, spec.name); };
    switch (spec.type) {
        case 'C':
        case 'V':
        case 'Q':
            if (spec.width < 1 || spec.width > 254 || spec.decimals != 0) throw invalid();
            break;
        case 'N':
        case 'F':
            if (spec.width < 1 || spec.width > 20 || spec.decimals < 0) throw invalid();
            if (spec.decimals > 0 && spec.decimals > spec.width - 2) throw invalid();
            break;
        case 'B':
            if (spec.decimals < 0 || spec.decimals > 18) throw invalid();
            spec.width = 8;
            break;
        case 'Y':
            spec.width = 8;
            spec.decimals = 4;
            break;
        case 'D':
        case 'T':
            spec.width = 8;
            spec.decimals = 0;
            break;
        case 'I':
            spec.width = 4;
            spec.decimals = 0;
            break;
        case 'L':
            spec.width = 1;
            spec.decimals = 0;
            break;
        case 'M':
        case 'G':
        case 'P':
        case 'W':
            spec.width = 4;
            spec.decimals = 0;
            break;
        default:
            throw ProviderError::make(FoxError::DataTypeMismatch, spec.name);
    }
    if (spec.autoIncrement &&
        (spec.type != 'I' || spec.autoIncrementStep < 1 || spec.autoIncrementStep > 255))
        throw invalid();
}

std::uint8_t flagsFor(const FieldSpec& spec) {
    std::uint8_t flags = 0;
    switch (spec.type) {
        case 'C':
        case 'V':
        case 'M':
            flags = spec.binary ? kFieldFlagBinary : 0;
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
    if (spec.autoIncrement) flags |= kFieldFlagAutoIncrement;
    if (spec.nullable) flags |= kFieldFlagNullable;
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

std::vector<Field> layoutFields(const std::vector<FieldSpec>& specs, int maxNameLength, int& recordLength) {
    std::vector<Field> fields;
    fields.reserve(specs.size() + 1);
    std::uint32_t offset = 1;
    int bits = 0;
    for (const FieldSpec& original : specs) {
        FieldSpec spec = original;
        validateFieldName(spec.name, maxNameLength);
        for (const Field& earlier : fields)
            if (sameFieldName(earlier.displayName(), spec.name))
                throw ProviderError::make(FoxError::FieldNameInvalid, spec.name);
        normaliseWidth(spec);
        Field field;
        field.name = spec.headerName.empty() ? shortFieldName(spec.name, fields) : spec.headerName;
        if (maxNameLength > kMaxFreeFieldName) field.longName = spec.name;
        field.type = spec.type;
        field.width = spec.width;
        field.decimals = spec.decimals;
        field.flags = flagsFor(spec);
        field.offset = offset;
        if (spec.autoIncrement) {
            field.autoIncrementNext = spec.autoIncrementNext;
            field.autoIncrementStep = spec.autoIncrementStep;
        }
        if (isVariableLengthType(spec.type)) field.varLengthBit = bits++;
        if (spec.nullable) field.nullBit = bits++;
        offset += static_cast<std::uint32_t>(spec.width);
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
