#include "provider/format/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "provider/error.h"

namespace dorvane::provider {

namespace {

struct PageInfo {
    int number;
    std::uint8_t mark;  // the mark written for the page
    const char* iconvName;
    bool doubleByte;
};

// Every page the engine converts. 620, 895 and 10006 have marks but no glibc converter.
constexpr std::array<PageInfo, 26> kPages{{
    {437, 0x01, "CP437", false},         {737, 0x6A, "CP737", false},
    {850, 0x02, "CP850", false},         {852, 0x64, "CP852", false},
    {857, 0x6B, "CP857", false},         {860, 0x24, "CP860", false},
    {861, 0x67, "CP861", false},         {863, 0x6C, "CP863", false},
    {865, 0x66, "CP865", false},         {866, 0x65, "CP866", false},
    {874, 0x7C, "WINDOWS-874", false},   {932, 0x7B, "CP932", true},
    {936, 0x7A, "CP936", true},          {949, 0x79, "CP949", true},
    {950, 0x78, "CP950", true},          {1250, 0xC8, "WINDOWS-1250", false},
    {1251, 0xC9, "WINDOWS-1251", false}, {1252, 0x03, "WINDOWS-1252", false},
    {1253, 0xCB, "WINDOWS-1253", false}, {1254, 0xCA, "WINDOWS-1254", false},
    {1255, 0x7D, "WINDOWS-1255", false}, {1256, 0x7E, "WINDOWS-1256", false},
    {1257, 0xCC, "WINDOWS-1257", false}, {10000, 0x04, "MACINTOSH", false},
    {10007, 0x96, "CP10007", false},     {10029, 0x97, "MAC-CENTRALEUROPE", false},
}};

// Marks read from headers, beside each page's own mark: the older xBase language-driver ids other
// writers put there. They are read, never written.
struct MarkAlias {
    std::uint8_t mark;
    int number;
};
constexpr MarkAlias kMarkAliases[] = {
    {0x00, 1252}, {0x08, 865}, {0x09, 437}, {0x0A, 850}, {0x0B, 437}, {0x0D, 437},  {0x0E, 850},
    {0x0F, 437},  {0x10, 850}, {0x11, 437}, {0x12, 850}, {0x13, 932}, {0x14, 850},  {0x15, 437},
    {0x16, 850},  {0x17, 865}, {0x18, 437}, {0x19, 437}, {0x1A, 850}, {0x1B, 437},  {0x1C, 863},
    {0x1D, 850},  {0x1F, 852}, {0x22, 852}, {0x23, 852}, {0x25, 850}, {0x26, 866},  {0x37, 850},
    {0x40, 852},  {0x4D, 936}, {0x4E, 949}, {0x4F, 950}, {0x50, 874}, {0x57, 1252}, {0x58, 1252},
    {0x59, 1252}, {0x86, 737}, {0x87, 852}, {0x88, 857},
};

int pageIndexForNumber(int number) {
    for (std::size_t i = 0; i < kPages.size(); ++i)
        if (kPages[i].number == number) return static_cast<int>(i);
    return -1;
}

int pageIndexForMark(std::uint8_t mark) {
    for (std::size_t i = 0; i < kPages.size(); ++i)
        if (kPages[i].mark == mark) return static_cast<int>(i);
    for (const MarkAlias& alias : kMarkAliases)
        if (alias.mark == mark) return pageIndexForNumber(alias.number);
    return -1;
}

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Reads one code point of strict UTF-8 at `pos` and advances past it; false for a malformed,
// overlong, surrogate or out-of-range sequence (pos is then left unchanged).
bool nextCodePoint(std::string_view s, std::size_t& pos, char32_t& cp) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    std::size_t length;
    char32_t minimum;
    if (b0 < 0x80) {
        cp = b0;
        ++pos;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        return false;
    }
    if (pos + length > s.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    pos += length;
    return true;
}

std::string describeCodePoint(char32_t cp) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) return hex;  // control characters: code only
    std::string text = "\"";
    appendUtf8(cp, text);
    return text + "\" (" + hex + ")";
}

[[noreturn]] void raiseUnmappable(char32_t cp, int number) {
    throw ProviderError::make(FoxError::CodePageCannotHold,
                              describeCodePoint(cp) + " has no place in code page " + std::to_string(number));
}

[[noreturn]] void raiseInvalidUtf8(std::size_t offset) {
    throw ProviderError::make(FoxError::CodePageCannotHold,
                              "the text is not valid UTF-8 at byte " + std::to_string(offset));
}

// An iconv descriptor closed on scope exit.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// The single code point `byte` stands for in the page, or nullopt-like 0xFFFFFFFF when undefined.
constexpr char32_t kUndefined = 0xFFFFFFFF;

char32_t decodeOneByte(iconv_t cd, unsigned char byte) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift and composition state
    char in = static_cast<char>(byte);
    char out[32];
    char* inPtr = &in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return kUndefined;
    // Some converters (1255) hold a base letter back to combine it; flushing releases it.
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return kUndefined;
    const std::string_view produced(out, static_cast<std::size_t>(outPtr - out));
    std::size_t pos = 0;
    char32_t cp;
    if (produced.empty() || !nextCodePoint(produced, pos, cp) || pos != produced.size()) return kUndefined;
    return cp;
}

}  // namespace

struct CodePage::Tables {
    struct Utf8Char {
        std::uint8_t length;
        char bytes[4];
    };
    std::array<Utf8Char, 256> decode{};
    std::array<bool, 128> identity{};                   // byte b < 0x80 decodes to itself
    bool asciiIdentity = false;                         // every byte below 0x80 decodes to itself
    std::unordered_map<char32_t, std::uint8_t> encode;  // every other code point the page holds
};

CodePage::CodePage(int number, std::uint8_t mark, const char* iconvName, bool doubleByte)
    : m_number(number), m_mark(mark), m_iconvName(iconvName), m_doubleByte(doubleByte) {
    Converter converter("UTF-8", iconvName);
    if (!converter.ok()) throw ProviderError::make(FoxError::CodePageInvalid);
    if (doubleByte) return;

    std::array<char32_t, 256> codePoints;
    for (int b = 0; b < 256; ++b)
        codePoints[b] = decodeOneByte(converter.get(), static_cast<unsigned char>(b));
    auto tables = std::make_unique<Tables>();
    for (int b = 0; b < 256; ++b)
        if (codePoints[b] != kUndefined) tables->encode.emplace(codePoints[b], static_cast<std::uint8_t>(b));
    for (int b = 0; b < 256; ++b) {
        char32_t cp = codePoints[b];
        if (cp == kUndefined) {
            // Keep the byte through a read and write by standing for it with its Latin-1 value.
            cp = static_cast<char32_t>(b);
            if (!tables->encode.emplace(cp, static_cast<std::uint8_t>(b)).second) cp = kReplacement;
        }
        std::string utf8;
        appendUtf8(cp, utf8);
        auto& entry = tables->decode[b];
        entry.length = static_cast<std::uint8_t>(utf8.size());
        std::copy(utf8.begin(), utf8.end(), entry.bytes);
        if (b < 128) tables->identity[b] = cp == static_cast<char32_t>(b);
    }
    for (int b = 0; b < 128; ++b)
        if (tables->identity[b]) tables->encode.erase(static_cast<char32_t>(b));
    tables->asciiIdentity =
        std::all_of(tables->identity.begin(), tables->identity.end(), [](bool i) { return i; });
    m_tables = std::move(tables);
}

CodePage::~CodePage() = default;

const CodePage& CodePage::forNumber(int codePage) {
    static std::array<std::once_flag, kPages.size()> built;
    static std::array<std::unique_ptr<CodePage>, kPages.size()> pages;
    const int index = pageIndexForNumber(codePage);
    if (index < 0) throw ProviderError::make(FoxError::CodePageInvalid);
    std::call_once(built[index], [index] {
        const PageInfo& info = kPages[index];
        pages[index].reset(new CodePage(info.number, info.mark, info.iconvName, info.doubleByte));
    });
    return *pages[index];
}

const CodePage& CodePage::forMark(std::uint8_t mark) {
    const int index = pageIndexForMark(mark);
    if (index < 0) throw ProviderError::make(FoxError::CodePageInvalid);
    return forNumber(kPages[index].number);
}

bool CodePage::isSupportedNumber(int codePage) {
    const int index = pageIndexForNumber(codePage);
    if (index < 0) return false;
    return Converter("UTF-8", kPages[index].iconvName).ok();
}

bool CodePage::isSupportedMark(std::uint8_t mark) {
    const int index = pageIndexForMark(mark);
    return index >= 0 && isSupportedNumber(kPages[index].number);
}

std::vector<int> CodePage::supportedNumbers() {
    std::vector<int> numbers;
    for (const PageInfo& info : kPages)
        if (isSupportedNumber(info.number)) numbers.push_back(info.number);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

void CodePage::decodeAppend(std::string_view bytes, std::string& utf8) const {
    if (m_tables) {
        // Pieces of up to kPiece bytes are decoded into a buffer on the stack (four bytes out per byte
        // in at most, and room for a last block of sixteen), then appended at once.
        constexpr std::size_t kPiece = 256;
        char buffer[kPiece * 4 + 16];
        const Tables& t = *m_tables;
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const auto* end = p + bytes.size();
        while (p < end) {
            const auto* pieceEnd = end - p > std::ptrdiff_t(kPiece) ? p + kPiece : end;
            char* out = buffer;
            while (p < pieceEnd) {
#if defined(__SSE2__)
                if (t.asciiIdentity && pieceEnd - p >= 16) {
                    // Sixteen bytes at a time: all are stored, those before the first one above 0x7F count.
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
                    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
                    const int plain = high == 0 ? 16 : __builtin_ctz(high);
                    out += plain;
                    p += plain;
                    if (plain == 16) continue;
                }
#endif
                if (t.asciiIdentity && pieceEnd - p >= 8) {
                    std::uint64_t word;
                    std::memcpy(&word, p, 8);
                    if ((word & 0x8080808080808080ull) == 0) {
                        std::memcpy(out, p, 8);
                        out += 8;
                        p += 8;
                        continue;
                    }
                }
                const auto& entry = t.decode[*p++];
                std::memcpy(out, entry.bytes, sizeof entry.bytes);
                out += entry.length;
            }
            utf8.append(buffer, static_cast<std::size_t>(out - buffer));
        }
        return;
    }
    Converter converter("UTF-8", m_iconvName);
    if (!converter.ok()) throw ProviderError::make(FoxError::CodePageInvalid);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
        const int error = errno;
        utf8.append(buffer, static_cast<std::size_t>(out - buffer));
        if (rc != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) continue;
        appendUtf8(kReplacement, utf8);  // malformed (EILSEQ) or cut short at the end (EINVAL)
        if (error == EINVAL) break;
        ++in;
        --inLeft;
    }
}

std::string CodePage::decode(std::string_view bytes) const {
    std::string utf8;
    decodeAppend(bytes, utf8);
    return utf8;
}

std::string CodePage::encode(std::string_view utf8) const {
    std::string out;
    out.reserve(utf8.size());
    if (m_tables) {
        const Tables& t = *m_tables;
        std::size_t pos = 0;
        while (pos < utf8.size()) {
            const unsigned char b = static_cast<unsigned char>(utf8[pos]);
            if (b < 0x80 && t.identity[b]) {
                out.push_back(static_cast<char>(b));
                ++pos;
                continue;
            }
            const std::size_t start = pos;
            char32_t cp;
            if (!nextCodePoint(utf8, pos, cp)) raiseInvalidUtf8(start);
            const auto found = t.encode.find(cp);
            if (found == t.encode.end()) raiseUnmappable(cp, m_number);
            out.push_back(static_cast<char>(found->second));
        }
        return out;
    }
    // Double-byte pages: check the UTF-8 first so iconv only meets characters it may lack.
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        char32_t cp;
        if (!nextCodePoint(utf8, pos, cp)) raiseInvalidUtf8(start);
    }
    Converter converter(m_iconvName, "UTF-8");
    if (!converter.ok()) throw ProviderError::make(FoxError::CodePageInvalid);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buffer[1024];
    bool flushed = false;
    while (!flushed) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        flushed = inLeft == 0;
        const std::size_t rc = flushed ? iconv(converter.get(), nullptr, nullptr, &outPtr, &outLeft)
                                       : iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (error == E2BIG) {
            flushed = false;
            continue;
        }
        std::size_t pos = static_cast<std::size_t>(in - utf8.data());
        char32_t cp = kReplacement;
        nextCodePoint(utf8, pos, cp);
        raiseUnmappable(cp, m_number);
    }
    return out;
}

}  // namespace dorvane::provider
