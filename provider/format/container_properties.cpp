#include "provider/format/container_properties.h"

#include "provider/error.h"
#include "provider/format/header.h"

namespace dorvane::provider {

PropertyMap parseProperties(std::string_view memo) {
    PropertyMap properties;
    std::size_t pos = 0;
    while (pos < memo.size()) {
        if (memo.size() - pos < kPropertyOffsetId + 1) throw ProviderError::make(FoxError::DbcInconsistent);
        const std::uint32_t length = readLe32(memo.data() + pos + kPropertyOffsetLength);
        const std::uint16_t idLength = readLe16(memo.data() + pos + kPropertyOffsetIdLength);
        if (idLength < 1 || idLength > 2 || length < kPropertyOffsetId + idLength ||
            length > memo.size() - pos)
            throw ProviderError::make(FoxError::DbcInconsistent);
        const int id = static_cast<int>(readLe(memo.data() + pos + kPropertyOffsetId, idLength));
        const std::size_t valueStart = kPropertyOffsetId + idLength;
        properties[id] = std::string(memo.substr(pos + valueStart, length - valueStart));
        pos += length;
    }
    return properties;
}

std::string encodeProperties(const PropertyMap& properties) {
    std::string memo;
    for (const auto& [id, value] : properties) {
        const std::uint16_t idLength = id > 255 ? 2 : 1;
        char head[kPropertyOffsetId + 2];
        writeLe32(head + kPropertyOffsetLength,
                  static_cast<std::uint32_t>(kPropertyOffsetId + idLength + value.size()));
        writeLe16(head + kPropertyOffsetIdLength, idLength);
        writeLe(head + kPropertyOffsetId, static_cast<std::uint32_t>(id), 2);
        memo.append(head, kPropertyOffsetId + idLength);
        memo += value;
    }
    return memo;
}

std::string propertyText(const PropertyMap& properties, int id) {
    const auto found = properties.find(id);
    if (found == properties.end()) return {};
    const std::string& value = found->second;
    return value.substr(0, value.find('\0'));
}

std::string textProperty(std::string_view text) {
    return std::string(text) + '\0';
}

}  // namespace dorvane::provider
