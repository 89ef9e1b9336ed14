// Column type names of CREATE TABLE / ALTER TABLE ADD and FoxPro's size rules for each type.
#include <array>

#include "provider/error.h"
#include "provider/sql/parser.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

enum class Sizing {
    Fixed,      // width is the type's own; numbers written after the name are ignored
    Width,      // (n) required: 1..254
    Precision,  // (p[,s]) p required: 1..20, s 0..p-2 when not 0
    Decimals,   // B(s): optional decimals 0..18
};

struct TypeName {
    std::string_view name;
    char type;
    Sizing sizing;
    int width;     // Fixed types
    int decimals;  // Fixed types
};

constexpr std::array<TypeName, 29> kTypes = {{
    {"C", 'C', Sizing::Width, 0, 0},           {"CHAR", 'C', Sizing::Width, 0, 0},
    {"CHARACTER", 'C', Sizing::Width, 0, 0},   {"V", 'V', Sizing::Width, 0, 0},
    {"VARCHAR", 'V', Sizing::Width, 0, 0},     {"Q", 'Q', Sizing::Width, 0, 0},
    {"VARBINARY", 'Q', Sizing::Width, 0, 0},   {"N", 'N', Sizing::Precision, 0, 0},
    {"NUMERIC", 'N', Sizing::Precision, 0, 0}, {"F", 'F', Sizing::Precision, 0, 0},
    {"FLOAT", 'F', Sizing::Precision, 0, 0},   {"I", 'I', Sizing::Fixed, 4, 0},
    {"INT", 'I', Sizing::Fixed, 4, 0},         {"INTEGER", 'I', Sizing::Fixed, 4, 0},
    {"B", 'B', Sizing::Decimals, 8, 0},        {"DOUBLE", 'B', Sizing::Decimals, 8, 0},
    {"Y", 'Y', Sizing::Fixed, 8, 4},           {"CURRENCY", 'Y', Sizing::Fixed, 8, 4},
    {"D", 'D', Sizing::Fixed, 8, 0},           {"DATE", 'D', Sizing::Fixed, 8, 0},
    {"T", 'T', Sizing::Fixed, 8, 0},           {"DATETIME", 'T', Sizing::Fixed, 8, 0},
    {"L", 'L', Sizing::Fixed, 1, 0},           {"LOGICAL", 'L', Sizing::Fixed, 1, 0},
    {"M", 'M', Sizing::Fixed, 4, 0},           {"MEMO", 'M', Sizing::Fixed, 4, 0},
    {"G", 'G', Sizing::Fixed, 4, 0},           {"GENERAL", 'G', Sizing::Fixed, 4, 0},
    {"W", 'W', Sizing::Fixed, 4, 0},
}};

[[noreturn]] void widthError() {
    throw ProviderError::make(FoxError::FieldWidthInvalid);
}

}  // namespace

FieldDef fieldTypeFromName(std::string_view typeName, int first, int second) {
    const TypeName* found = nullptr;
    for (const TypeName& t : kTypes)
        if (equalsIgnoreCase(t.name, typeName)) found = &t;
    if (!found && equalsIgnoreCase(typeName, "BLOB")) found = &kTypes.back();
    if (!found) throw ProviderError::make(FoxError::UnrecognizedPhrase);

    FieldDef f;
    f.type = found->type;
    switch (found->sizing) {
        case Sizing::Fixed:
            f.width = found->width;
            f.decimals = found->decimals;
            break;
        case Sizing::Width:
            if (first < 1 || first > 254 || second > 0) widthError();
            f.width = first;
            break;
        case Sizing::Precision:
            if (first < 1 || first > 20) widthError();
            f.width = first;
            f.decimals = second < 0 ? 0 : second;
            if (f.decimals > 0 && f.decimals > f.width - 2) widthError();
            break;
        case Sizing::Decimals:
            f.width = 8;
            f.decimals = second >= 0 ? second : first < 0 ? 0 : first;
            if (f.decimals > 18) widthError();
            break;
    }
    return f;
}

}  // namespace dorvane::provider::sql
