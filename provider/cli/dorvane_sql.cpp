// dorvane-sql: runs statements on a data source from the command line.
//   dorvane-sql "<ConnectionString>" [statement ...]   (none: one statement per line from standard input)
//   dorvane-sql --tables "<ConnectionString>"
// A SELECT prints a header line and its rows as tab-separated text in the grid's form; another statement
// prints the number of records it touched. A provider error prints "Error <number>: <message>" on
// standard error and ends the run with status 1.
#include <cctype>
#include <iostream>
#include <string>
#include <vector>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/error.h"
#include "provider/sql/value_text.h"

using namespace dorvane::provider;

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void printRows(const RowSource& rows) {
    std::string line;
    for (int c = 0; c < rows.columnCount(); ++c) {
        if (c) line += '\t';
        line += escaped(rows.column(c).name);
    }
    std::cout << line << '\n';
    for (std::int64_t r = 0; r < rows.rowCount(); ++r) {
        line.clear();
        for (int c = 0; c < rows.columnCount(); ++c) {
            if (c) line += '\t';
            const ColumnInfo& column = rows.column(c);
            line += escaped(sql::formatForGrid(rows.value(r, c), column.type, column.decimals));
        }
        std::cout << line << '\n';
    }
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
