// dorvane-sql: runs statements on a data source from the command line.
//   dorvane-sql "<ConnectionString>" [statement ...]   (none: one statement per line from standard input)
//   dorvane-sql --tables "<ConnectionString>"
// A SELECT prints a header line and its rows as tab-separated text in the grid's form; another statement
// prints the number of records it touched. A provider error prints "Error <number>: <message>" on
// standard error and ends the run with status 1.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/error.h"

using namespace dorvane::provider;

namespace {

// Appends `text` with tab, CR, LF and backslash written as \t, \r, \n and \\, copying the runs between them
// whole.
void appendEscaped(std::string& out, std::string_view text) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    std::size_t run = 0, i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        // Eight bytes at a time while none is below 14 (tab, LF, CR) or a backslash.
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            const std::uint64_t backslash = word ^ (kOnes * '\\');
            if (((((word - kOnes * 14) & ~word) | ((backslash - kOnes) & ~backslash)) & kHighs) == 0) {
                i += 8;
                continue;
            }
        }
        const char c = text[i];
        if (c == '\t' || c == '\r' || c == '\n' || c == '\\') {
            out.append(text.data() + run, i - run);
            out += '\\';
            out += c == '\t' ? 't' : c == '\r' ? 'r' : c == '\n' ? 'n' : '\\';
            run = i + 1;
        }
        ++i;
    }
    out.append(text.data() + run, n - run);
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
        for (int c = 0; c < columns; ++c) {
            if (c) out += '\t';
            appendEscaped(out, texts.text(c));
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
