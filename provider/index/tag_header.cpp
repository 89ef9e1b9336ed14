#include "provider/index/tag_header.h"

#include <algorithm>
#include <cstring>

#include "provider/byte_order.h"
#include "provider/error.h"

namespace dorvane::provider::index {
namespace {

// A NUL-terminated text of the pool, or nullopt when offset/length point outside it.
bool poolText(const unsigned char* bytes, std::uint32_t offset, std::uint32_t length, std::string& out) {
    if (length == 0) {
        out.clear();
        return true;
    }
    if (offset + length > kHdrPoolSize) return false;
    const char* p = reinterpret_cast<const char*>(bytes + kHdrPool + offset);
    out.assign(p, strnlen(p, length));
    return true;
}

}  // namespace

TagHeader parseTagHeader(const unsigned char* bytes, std::string_view fileName) {
    TagHeader h;
    std::copy(bytes, bytes + kTagHeaderSize, h.raw.begin());
    h.root = readLe(bytes + kHdrRoot, 4);
    h.freeList = readLe(bytes + kHdrFreeList, 4);
    h.keyLength = static_cast<std::uint16_t>(readLe(bytes + kHdrKeyLength, 2));
    h.options = bytes[kHdrOptions];
    const char* coll = reinterpret_cast<const char*>(bytes + kHdrCollation);
    h.collation.assign(coll, strnlen(coll, kHdrCollationSize));
    if (h.collation == "MACHINE") h.collation.clear();
    h.descending = readLe(bytes + kHdrDescending, 2) != 0;
    const bool exprOk =
        poolText(bytes, readLe(bytes + kHdrKeyExprOffset, 2), readLe(bytes + kHdrKeyExprLength, 2),
                 h.keyExpression) &&
        poolText(bytes, readLe(bytes + kHdrForOffset, 2), readLe(bytes + kHdrForLength, 2), h.forExpression);
    if (h.keyLength == 0 || h.keyLength > kMaxKeyLength || !exprOk || h.root == 0 || h.root % kPageSize != 0)
        throw ProviderError::make(FoxError::IndexMismatch, fileName);
    return h;
}

void writeTagHeader(const TagHeader& h, unsigned char* out) {
    if (h.keyExpression.size() + h.forExpression.size() + 2 > kHdrPoolSize)
        throw ProviderError::make(FoxError::StringTooLong);
    std::copy(h.raw.begin(), h.raw.end(), out);
    writeLe(out + kHdrRoot, h.root, 4);
    writeLe(out + kHdrFreeList, h.freeList, 4);
    writeLe(out + kHdrKeyLength, h.keyLength, 2);
    out[kHdrOptions] = h.options;
    out[kHdrSignature] = h.collation.empty() ? kSigMachine : kSigCollated;
    std::memset(out + kHdrCollation, 0, kHdrCollationSize);
    std::memcpy(out + kHdrCollation, h.collation.data(), std::min(h.collation.size(), kHdrCollationSize));
    writeLe(out + kHdrDescending, h.descending ? 1 : 0, 2);
    std::memset(out + kHdrPool, 0, kHdrPoolSize);
    const std::size_t keyLen = h.keyExpression.size() + 1;
    std::memcpy(out + kHdrPool, h.keyExpression.data(), h.keyExpression.size());
    std::memcpy(out + kHdrPool + keyLen, h.forExpression.data(), h.forExpression.size());
    writeLe(out + kHdrKeyExprOffset, 0, 2);
    writeLe(out + kHdrKeyExprLength, static_cast<std::uint32_t>(keyLen), 2);
    writeLe(out + kHdrForOffset, static_cast<std::uint32_t>(keyLen), 2);
    writeLe(out + kHdrForLength, static_cast<std::uint32_t>(h.forExpression.size() + 1), 2);
}

}  // namespace dorvane::provider::index
