#include "export/grid_writers.h"

#include <stdexcept>
#if defined(__linux__)
#include <fcntl.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/error_trap.h"

namespace dorvane::exporting::DataGrid1 {
namespace {

QString label(const char* procedure) {
    return app::locationLabel(QStringLiteral("Datagrid1"), QLatin1String(procedure));
}

// Runs one numbered line of a loop body without the cost of a trapped call when it does not fail.
template <typename Body>
void trapped(app::ErrorTrap& trap, int number, Body&& body) {
    try {
        body();
    } catch (...) {
        trap.line(number, [] { throw; });
    }
}

}  // namespace

TextFileWriter::TextFileWriter(const QString& path) : m_file(path), m_buffer(new char[kCapacity + 16]) {
    // A file the user may write in a folder they may not is written in place, as nothing else can be done.
    m_file.setDirectWriteFallback(true);
    if (path.isEmpty()) {
        m_error = QStringLiteral("Bad file name or number");
    } else if (!m_file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("Cannot write %1: %2").arg(path, m_file.errorString());
    }
}

void TextFileWriter::text(QStringView s) {
    append(s, Escape::None);
}
void TextFileWriter::csvField(QStringView s) {
    append(s, Escape::Csv);
}
void TextFileWriter::xmlText(QStringView s) {
    append(s, Escape::Xml);
}

namespace {

// True when one of four UTF-16 units equals `unit`.
constexpr bool hasUnit(std::uint64_t units, char16_t unit) {
    const std::uint64_t x = units ^ (0x0001000100010001ull * unit);
    return ((x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull) != 0;
}

}  // namespace

bool TextFileWriter::needsEscape(std::uint64_t units, Escape escape) {
    switch (escape) {
        case Escape::None:
            return false;
        case Escape::Csv:
            return hasUnit(units, u'"');
        case Escape::Xml:
            return hasUnit(units, u'&') || hasUnit(units, u'<') || hasUnit(units, u'>');
    }
    return true;
}

void TextFileWriter::append(QStringView s, Escape escape) {
    // At most five bytes per UTF-16 unit ("&amp;"); long texts go in pieces that end on a whole character.
    constexpr qsizetype kPiece = qsizetype(kCapacity / 5);
    while (s.size() > kPiece) {
        qsizetype cut = kPiece;
        if (s[cut - 1].isHighSurrogate()) --cut;
        append(s.first(cut), escape);
        s = s.sliced(cut);
    }
    if (m_used + std::size_t(s.size()) * 5 > kCapacity) flush();
    char* out = m_buffer.get() + m_used;
    const char16_t* p = s.utf16();
    const char16_t* end = p + s.size();
    while (p < end) {
        // Four ASCII units at a time while none needs escaping.
        if (end - p >= 4) {
            std::uint64_t units;
            std::memcpy(&units, p, 8);
            if ((units & 0xFF80FF80FF80FF80ull) == 0 && !needsEscape(units, escape)) {
                for (int i = 0; i < 4; ++i) *out++ = char(p[i]);
                p += 4;
                continue;
            }
        }
        const char16_t c = *p++;
        if (c < 0x80) {
            if (escape == Escape::Csv && c == u'"') {
                *out++ = '"';
                *out++ = '"';
            } else if (escape == Escape::Xml && (c == u'&' || c == u'<' || c == u'>')) {
                const char* entity = c == u'&' ? "&amp;" : c == u'<' ? "&lt;" : "&gt;";
                while (*entity) *out++ = *entity++;
            } else {
                *out++ = char(c);
            }
        } else if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c < 0xDC00 && p < end && *p >= 0xDC00 && *p < 0xE000) {
            const char32_t u = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(*p++) - 0xDC00);
            *out++ = char(0xF0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3F));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        } else {
            // A lone surrogate cannot be encoded: the replacement character stands for it.
            const char16_t v = (c >= 0xD800 && c < 0xE000) ? char16_t(0xFFFD) : c;
            *out++ = char(0xE0 | (v >> 12));
            *out++ = char(0x80 | ((v >> 6) & 0x3F));
            *out++ = char(0x80 | (v & 0x3F));
        }
    }
    m_used = std::size_t(out - m_buffer.get());
}

namespace {

// The length of the well-formed UTF-8 sequence at p (no overlong forms, surrogates or code points past
// U+10FFFF), or 0.
int utf8Length(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = *p;
    int length;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (end - p < length || p[1] < low || p[1] > high) return 0;
    for (int i = 2; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
    }
    return length;
}

#if !defined(__SSE2__)
// True when none of eight bytes is above 0x7F or, for CSV, a double quote, or, for XML, &, < or >.
bool plainBytes(std::uint64_t word, bool csv) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    const auto has = [&](unsigned char byte) {
        const std::uint64_t x = word ^ (kOnes * byte);
        return (x - kOnes) & ~x & kHighs;
    };
    if (word & kHighs) return false;
    return csv ? !has('"') : !(has('&') | has('<') | has('>'));
}
#endif

}  // namespace

void TextFileWriter::appendUtf8(std::string_view s, Escape escape) {
    // At most five bytes out per byte in ("&amp;"); long texts go in pieces that end on a whole character.
    constexpr std::size_t kPiece = kCapacity / 5;
    while (s.size() > kPiece) {
        std::size_t cut = kPiece;
        while (cut > kPiece - 4 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        appendUtf8(s.substr(0, cut), escape);
        s.remove_prefix(cut);
    }
    if (m_used + s.size() * 5 > kCapacity) flush();
    if (escape == Escape::None && s.size() < 8) {
        // Short texts: mostly numbers and dates.
        bool ascii = true;
        for (const char c : s) ascii &= static_cast<unsigned char>(c) < 0x80;
        if (ascii) {
            std::memcpy(m_buffer.get() + m_used, s.data(), s.size());
            m_used += s.size();
            return;
        }
    }
    char* out = m_buffer.get() + m_used;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes at a time (the last few through a copy padded with zeros, which need no care):
        // all of them are stored, and those before the first one that needs care count. The buffer has
        // room for sixteen bytes past its capacity.
        {
            const std::size_t left = std::size_t(end - p);
            __m128i v;
            if (left >= 16) {
                v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            } else {
                alignas(16) unsigned char last[16] = {};
                std::memcpy(last, p, left);
                v = _mm_load_si128(reinterpret_cast<const __m128i*>(last));
            }
            int mask = _mm_movemask_epi8(v);
            if (escape == Escape::Csv) {
                mask |= _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
            } else if (escape == Escape::Xml) {
                mask |= _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('&')),
                                                                    _mm_cmpeq_epi8(v, _mm_set1_epi8('<'))),
                                                       _mm_cmpeq_epi8(v, _mm_set1_epi8('>'))));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
            const std::size_t plain =
                mask == 0 ? std::min<std::size_t>(16, left) : __builtin_ctz(unsigned(mask));
            out += plain;
            p += plain;
            if (mask == 0) continue;
        }
#else
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (escape == Escape::None ? (word & 0x8080808080808080ull) == 0
                                       : plainBytes(word, escape == Escape::Csv)) {
                std::memcpy(out, p, 8);
                out += 8;
                p += 8;
                continue;
            }
        }
#endif
        const unsigned char c = *p;
        if (c >= 0x80) {
            const int length = utf8Length(p, end);
            if (length == 0) {
                // Not UTF-8: written as the text Qt makes of it, from the start of this piece.
                return append(QString::fromUtf8(s.data(), qsizetype(s.size())), escape);
            }
            std::memcpy(out, p, std::size_t(length));
            out += length;
            p += length;
            continue;
        }
        ++p;
        if (escape == Escape::Csv && c == '"') {
            *out++ = '"';
        } else if (escape == Escape::Xml && (c == '&' || c == '<' || c == '>')) {
            const char* entity = c == '&' ? "&amp;" : c == '<' ? "&lt;" : "&gt;";
            while (*entity) *out++ = *entity++;
            continue;
        }
        *out++ = char(c);
    }
    m_used = std::size_t(out - m_buffer.get());
}

void TextFileWriter::flush() {
    writeOut(m_buffer.get(), m_used);
    m_used = 0;
}

void TextFileWriter::writeOut(const char* data, std::size_t size) {
    if (failed() || size == 0) return;
    if (m_file.write(data, qint64(size)) != qint64(size)) {
        m_error = QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
        m_file.cancelWriting();
        return;
    }
    m_written += size;
#if defined(__linux__)
    // The disk starts writing what was written so far while the export goes on, so that the sync
    // before the file replaces its target has little left to wait for.
    constexpr std::uint64_t kWriteBehind = 8 << 20;
    if (m_written - m_started >= kWriteBehind && m_file.flush()) {
        ::sync_file_range(m_file.handle(), off64_t(m_started), off64_t(m_written - m_started),
                          SYNC_FILE_RANGE_WRITE);
        m_started = m_written;
    }
#endif
}

void TextFileWriter::commit() {
    flush();
    if (!failed() && !m_file.commit()) {
        m_error = QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
    }
    if (failed()) throw std::runtime_error(m_error.toStdString());
}

void WriteTextFile(const QString& path, const QString& text) {
    TextFileWriter file(path);
    file.text(text);
    file.commit();
}

QString xmlElementName(const QString& caption) {
    if (caption.isEmpty()) return QStringLiteral("_");
    QString name = caption;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool start = c.isLetter() || c == QLatin1Char('_');
        const bool inner = start || c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.') ||
                           c.category() == QChar::Mark_NonSpacing ||
                           c.category() == QChar::Mark_SpacingCombining;
        if (i == 0 ? !start : !inner) name[i] = QLatin1Char('_');
    }
    return name;
}

void SaveDataGridToCSVFile(platform::MessageBox& messageBox, ExportGrid& grid, const QString& path,
                           QWidget* owner) {
    app::ErrorTrap trap(messageBox, label("SaveDataGridToCSVFile"), owner);
    std::unique_ptr<TextFileWriter> file;
    int last = -1;
    trap.line(102, [&] { file = std::make_unique<TextFileWriter>(path); });
    if (!file) return;
    trap.line(104, [&] { last = grid.columnCount() - 2; });
    for (int c = 0; c <= last; ++c) {
        trap.line(106, [&] {
            const QString caption = grid.columnCaption(c);
            if (c > 0) file->ascii(",");
            file->ascii("\"");
            file->csvField(caption);
            file->ascii("\"");
        });
    }
    trap.line(112, [&] { file->ascii("\r\n"); });
    trap.line(114, [&] {
        GridRowWalk(grid, [&] {
            for (int c = 0; c <= last; ++c) {
                trapped(trap, 118, [&] {
                    const std::string_view text = grid.columnUtf8(c);
                    if (c > 0) file->ascii(",");
                    file->ascii("\"");
                    file->utf8CsvField(text);
                    file->ascii("\"");
                });
            }
            file->ascii("\r\n");
            return !file->failed();
        });
    });
    trap.line(126, [&] { file->commit(); });
}

void SaveDataGridToFile(platform::MessageBox& messageBox, ExportGrid& grid, const QString& path,
                        QWidget* owner) {
    app::ErrorTrap trap(messageBox, label("SaveDataGridToFile"), owner);
    std::unique_ptr<TextFileWriter> file;
    int last = -1;
    trap.line(102, [&] { file = std::make_unique<TextFileWriter>(path); });
    if (!file) return;
    trap.line(104, [&] { last = grid.columnCount() - 2; });
    for (int c = 0; c <= last; ++c) {
        trap.line(106, [&] {
            const QString caption = grid.columnCaption(c);
            file->text(caption);
            file->ascii("\t");
        });
    }
    trap.line(110, [&] { file->ascii("\r\n"); });
    trap.line(112, [&] {
        GridRowWalk(grid, [&] {
            for (int c = 0; c <= last; ++c) {
                trapped(trap, 116, [&] {
                    file->utf8Text(grid.columnUtf8(c));
                    file->ascii("\t");
                });
            }
            file->ascii("\r\n");
            return !file->failed();
        });
    });
    trap.line(122, [&] { file->commit(); });
}

void SaveDataGridToXMLFile(platform::MessageBox& messageBox, ExportGrid& grid, const QString& path,
                           QWidget* owner) {
    app::ErrorTrap trap(messageBox, label("SaveDataGridToXMLFile"), owner);
    std::unique_ptr<TextFileWriter> file;
    std::vector<std::string> names;
    trap.line(102, [&] { file = std::make_unique<TextFileWriter>(path); });
    if (!file) return;
    trap.line(104, [&] { file->ascii("<xml>\r\n"); });
    trap.line(106, [&] {
        for (int c = 0; c <= grid.columnCount() - 2; ++c)
            names.push_back(xmlElementName(grid.columnCaption(c)).toStdString());
    });
    trap.line(108, [&] {
        GridRowWalk(grid, [&] {
            file->ascii("<row>\r\n");
            for (int c = 0; c < int(names.size()); ++c) {
                trapped(trap, 114, [&] {
                    const std::string_view text = grid.columnUtf8(c);
                    file->ascii("<");
                    file->ascii(names[c]);
                    file->ascii(">");
                    file->utf8XmlText(text);
                    file->ascii("</");
                    file->ascii(names[c]);
                    file->ascii(">\r\n");
                });
            }
            file->ascii("</row>\r\n");
            return !file->failed();
        });
    });
    trap.line(122, [&] { file->ascii("</xml>"); });
    trap.line(124, [&] { file->commit(); });
}

}  // namespace dorvane::exporting::DataGrid1
