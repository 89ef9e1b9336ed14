#include "provider/general_collation.h"

#include <cstring>

namespace dorvane::provider {

void encodeGeneralKey(std::string_view text, unsigned char* out, std::size_t keyLength) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ') --end;
    std::size_t at = 0;
    for (std::size_t i = 0; i < end && at < keyLength; ++i) {
        const GeneralWeight& w = kGeneralWeights1252[static_cast<unsigned char>(text[i])];
        for (int h = 0; h < w.headCount && at < keyLength; ++h) out[at++] = w.heads[h];
    }
    for (std::size_t i = 0; i < end && at < keyLength; ++i) {
        const GeneralWeight& w = kGeneralWeights1252[static_cast<unsigned char>(text[i])];
        for (int t = 0; t < w.tailCount && at < keyLength; ++t) out[at++] = w.tails[t];
    }
    std::memset(out + at, 0, keyLength - at);
}

std::string encodeGeneralKey(std::string_view text, std::uint16_t keyLength) {
    std::string key(keyLength, '\0');
    encodeGeneralKey(text, reinterpret_cast<unsigned char*>(key.data()), keyLength);
    return key;
}

}  // namespace dorvane::provider
