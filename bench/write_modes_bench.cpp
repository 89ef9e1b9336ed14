// Write benchmark: the same appends, updates, INSERTs and UPDATEs on a table held exclusively and on
// one opened shared, so that the cost of sharing a table with other writers shows side by side.
// Prints one "figure<TAB>value" line per measurement; not a test.
//
//   write_modes_bench FOLDER [RECORDS]   works in FOLDER (made when missing); RECORDS default 10000
//
// Figures, each for "exclusive" and "shared":
//   engine append       RECORDS appends through the engine (Table::appendValues), memo every tenth
//   engine update       one field of every record changed through the engine (Table::update)
//   sql insert          2,000 INSERT statements on one connection
//   sql update by id    2,000 UPDATE ... WHERE id = n statements (the editor's cell update)
//   sql number all      one UPDATE numbering every record (the editor opening a table)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "provider/ado/connection.h"
#include "provider/error.h"
#include "provider/format/table.h"

using namespace dorvane::provider;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr long kStatements = 2000;

void makeTable(const fs::path& path) {
    std::vector<FieldSpec> fields(4);
    fields[0].name = "id", fields[0].type = 'I';
    fields[1].name = "name", fields[1].type = 'C', fields[1].width = 30;
    fields[2].name = "qty", fields[2].type = 'N', fields[2].width = 10, fields[2].decimals = 2;
    fields[3].name = "note", fields[3].type = 'M';
    Table::create(path, fields);
}

void figure(const char* what, const char* mode, double ms, long count) {
    std::printf("%-20s %-9s\t%9.2f ms\t%8.2f us each\n", what, mode, ms, 1000.0 * ms / double(count));
}

void engine(const fs::path& folder, long records, OpenMode mode, const char* label) {
    const fs::path path = folder / "engine.dbf";
    makeTable(path);
    auto table = Table::open(path, mode);
    std::vector<Value> row(4);
    auto start = Clock::now();
    for (long i = 0; i < records; ++i) {
        row[0] = static_cast<std::int64_t>(i + 1);
        row[1] = "customer " + std::to_string(i);
        row[2] = double(i % 1000) / 4;
        row[3] = i % 10 == 0 ? "a memo of record " + std::to_string(i) : std::string();
        table->appendValues(row);
    }
    figure("engine append", label, msSince(start), records);
    start = Clock::now();
    for (std::uint32_t recno = 1; recno <= table->recordCount(); ++recno)
        table->update(recno, {{2, double(recno % 77)}});
    figure("engine update", label, msSince(start), records);
    table->flush();
}

void sql(const fs::path& folder, long records, bool exclusive, const char* label) {
    makeTable(folder / "people.dbf");
    Connection connection;
    connection.Open("Provider=vfpoledb.1;Data Source=" + folder.string() + ";" +
                    (exclusive ? "mode=share exclusive;" : ""));
    auto start = Clock::now();
    for (long i = 0; i < kStatements; ++i)
        connection.Execute("INSERT INTO people (id, name, qty) VALUES (" + std::to_string(i + 1) +
                           ", 'name " + std::to_string(i) + "', " + std::to_string(i % 100) + ")");
    figure("sql insert", label, msSince(start), kStatements);
    // Fill up to `records` through the engine, so the updates meet a table of that size.
    connection.Close();
    {
        auto table = Table::open(folder / "people.dbf", OpenMode::Exclusive);
        for (long i = kStatements; i < records; ++i)
            table->appendValues({static_cast<std::int64_t>(i + 1), "name " + std::to_string(i),
                                 double(i % 100), std::string()});
        table->flush();
    }
    Connection again;
    again.Open("Provider=vfpoledb.1;Data Source=" + folder.string() + ";" +
               (exclusive ? "mode=share exclusive;" : ""));
    start = Clock::now();
    for (long i = 0; i < kStatements; ++i)
        again.Execute("UPDATE people SET name = 'changed " + std::to_string(i) +
                      "' WHERE id = " + std::to_string(1 + (i * 7919) % records));
    figure("sql update by id", label, msSince(start), kStatements);
    start = Clock::now();
    const long numbered = again.Execute("UPDATE people SET qty = recno()");
    figure("sql number all", label, msSince(start), numbered);
    again.Close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: write_modes_bench FOLDER [RECORDS]\n");
        return 2;
    }
    const fs::path root = argv[1];
    const long records = argc > 2 ? std::atol(argv[2]) : 10000;
    try {
        for (const bool exclusive : {true, false}) {
            const fs::path folder = root / (exclusive ? "exclusive" : "shared");
            fs::remove_all(folder);
            fs::create_directories(folder);
            engine(folder, records, exclusive ? OpenMode::Exclusive : OpenMode::Shared,
                   exclusive ? "exclusive" : "shared");
            sql(folder, records, exclusive, exclusive ? "exclusive" : "shared");
            fs::remove_all(folder);
        }
    } catch (const ProviderError& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
