// Code pages of tables: the mark in header byte 29, and text conversion between a page and UTF-8.
// Single-byte pages use translation tables built once from iconv; double-byte pages call iconv per text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::provider {

// One code page. Instances live for the whole program; get them through forMark() or forNumber(),
// which are thread-safe and build the page's tables on first use.
//
// Bytes a single-byte page leaves undefined (0x81 in 1252, for example) decode to the code point of
// the same value (U+0081), and encode() maps that code point back, so a text read and written
// unchanged keeps its bytes. Where that code point is already the decoding of another byte of the
// page, the undefined byte decodes to U+FFFD instead.
class CodePage {
public:
    // The page a table's header byte 29 names. 0 (no mark) gives 1252, the page the engine writes.
    // Raises ProviderError(CodePageInvalid) for a mark no page carries, or a page this system's
    // iconv cannot convert (620 Mazovia, 895 Kamenicky, 10006 Greek Macintosh).
    static const CodePage& forMark(std::uint8_t mark);
    // The page with this number (437, 850, 1252, 10000, ...); raises ProviderError(CodePageInvalid).
    static const CodePage& forNumber(int codePage);
    // Whether forMark()/forNumber() would succeed, without raising.
    static bool isSupportedMark(std::uint8_t mark);
    static bool isSupportedNumber(int codePage);
    // Numbers of every page forNumber() accepts, in ascending order (for code page pickers).
    static std::vector<int> supportedNumbers();

    int number() const { return m_number; }
    // The mark FoxPro writes for this page (never 0).
    std::uint8_t mark() const { return m_mark; }
    bool isDoubleByte() const { return m_doubleByte; }

    // Appends the UTF-8 form of `bytes` to `utf8`. Single-byte pages do this from a table, without a
    // library call. Double-byte pages turn malformed sequences into U+FFFD.
    void decodeAppend(std::string_view bytes, std::string& utf8) const;
    std::string decode(std::string_view bytes) const;
    // The bytes of `utf8` in this page. Raises ProviderError(CodePageCannotHold) naming the first
    // character the page cannot hold, or the byte offset where `utf8` is not valid UTF-8; never
    // substitutes '?'.
    std::string encode(std::string_view utf8) const;

    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    struct Tables;  // single-byte translation tables (codepage.cpp)

private:
    CodePage(int number, std::uint8_t mark, const char* iconvName, bool doubleByte);

    int m_number;
    std::uint8_t m_mark;
    const char* m_iconvName;
    bool m_doubleByte;
    std::unique_ptr<Tables> m_tables;  // null for double-byte pages
};

}  // namespace dorvane::provider
