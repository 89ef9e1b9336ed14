// dorvane-sql: runs statements on a data source from the command line.
//   dorvane-sql "<ConnectionString>" [statement ...]   (none: one statement per line from standard input)
//   dorvane-sql --tables "<ConnectionString>"
// A SELECT prints a header line and its rows as tab-separated text in the grid's form; another statement
// prints the number of records it touched. A provider error prints "Error <number>: <message>" on
// standard error and ends the run with status 1.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/error.h"

using namespace dorvane::provider;

namespace {

bool isSpecial(char c) {
    return static_cast<unsigned char>(c) < 14 || c == '\\';
}

// The position of the first byte of p[from, n) below 14 (among them tab, LF and CR) or a backslash, or n.
std::size_t findSpecial(const char* p, std::size_t from, std::size_t n) {
#if defined(__SSE2__)
    const auto specials = [](const char* at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(13)), v);
        return unsigned(_mm_movemask_epi8(_mm_or_si128(low, _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')))));
    };
    std::size_t i = from;
    for (; i + 16 <= n; i += 16) {
        if (const unsigned mask = specials(p + i)) return i + std::size_t(__builtin_ctz(mask));
    }
    if (i < n && n - from >= 16) {
        // The last sixteen bytes, of which those before i were looked at already.
        const unsigned mask = specials(p + n - 16) >> (i - (n - 16));
        return mask ? i + std::size_t(__builtin_ctz(mask)) : n;
    }
    while (i < n && !isSpecial(p[i])) ++i;
    return i;
#else
    while (from < n && !isSpecial(p[from])) ++from;
    return from;
#endif
}

// Appends `text` with tab, CR, LF and backslash written as \t, \r, \n and \\, copying the runs between them
// whole.
void appendEscaped(std::string& out, std::string_view text) {
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t run = 0;
    for (std::size_t i = findSpecial(p, 0, n); i < n; i = findSpecial(p, i + 1, n)) {
        const char c = p[i];
        if (c != '\t' && c != '\r' && c != '\n' && c != '\\') continue;
        out.append(p + run, i - run);
        const char escaped[2] = {'\\', c == '\t' ? 't' : c == '\r' ? 'r' : c == '\n' ? 'n' : '\\'};
        out.append(escaped, 2);
        run = i + 1;
    }
    out.append(p + run, n - run);
}

void printRows(const RowSource& rows) {
    constexpr std::size_t kFlushSize = 1 << 20;
    std::string out;
    out.reserve(kFlushSize + 4096);
    const int columns = rows.columnCount();
    for (int c = 0; c < columns; ++c) {
        if (c) out += '\t';
        appendEscaped(out, rows.column(c).name);
    }
    out += '\n';
    RowTexts texts;
    for (std::int64_t r = 0; r < rows.rowCount(); ++r) {
        rows.rowTexts(r, TextForm::Value, texts);
        // The cells' texts lie one after another: when none of them holds a byte to escape, they are
        // copied as they are.
        const std::string_view first = columns ? texts.text(0) : std::string_view();
        const std::string_view last = columns ? texts.text(columns - 1) : std::string_view();
        const std::size_t size = std::size_t(last.data() + last.size() - first.data());
        if (columns && findSpecial(first.data(), 0, size) == size) {
            for (int c = 0; c < columns; ++c) {
                if (c) out += '\t';
                out += texts.text(c);
            }
        } else {
            for (int c = 0; c < columns; ++c) {
                if (c) out += '\t';
                appendEscaped(out, texts.text(c));
            }
        }
        out += '\n';
        if (out.size() >= kFlushSize) {
            std::cout.write(out.data(), std::streamsize(out.size()));
            out.clear();
        }
    }
    std::cout.write(out.data(), std::streamsize(out.size()));
}

bool isSelect(const std::string& statement) {
    size_t i = 0;
    while (i < statement.size() && std::isspace(static_cast<unsigned char>(statement[i]))) ++i;
    std::string word;
    while (i < statement.size() && std::isalpha(static_cast<unsigned char>(statement[i]))) {
        word += char(std::tolower(static_cast<unsigned char>(statement[i++])));
    }
    return word == "select";
}

bool isBlank(const std::string& s) {
    for (char c : s) {
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

int usage() {
    std::cerr << "usage: dorvane-sql \"<ConnectionString>\" [statement ...]\n"
                 "       dorvane-sql --tables \"<ConnectionString>\"\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) return usage();
    const bool tables = std::string(argv[1]) == "--tables";
    if (tables && argc != 3) return usage();
    try {
        Connection connection;
        connection.Open(argv[tables ? 2 : 1]);
        if (tables) {
            printRows(*connection.OpenSchema(kSchemaTables)->DataSource());
            return 0;
        }
        std::vector<std::string> statements(argv + 2, argv + argc);
        const bool fromInput = statements.empty();
        std::string line;
        for (size_t i = 0;; ++i) {
            std::string statement;
            if (fromInput) {
                if (!std::getline(std::cin, line)) break;
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (isBlank(line)) continue;
                statement = line;
            } else {
                if (i >= statements.size()) break;
                statement = statements[i];
            }
            if (isSelect(statement)) {
                printRows(*connection.query(statement));
            } else {
                std::cout << connection.Execute(statement) << '\n';
            }
            std::cout.flush();
        }
        connection.Close();  // what was written reaches the disk, or the run fails
    } catch (const ProviderError& e) {
        std::cout.flush();
        std::cerr << "Error " << e.number() << ": " << e.message() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "Error 0: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
