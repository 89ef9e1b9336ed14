// Times the statements of one editing session on a table of N records, as the windows send them:
// opening the table for editing (exclusive connection, row identifier added and numbered, grid
// recordset opened and its first rows read), one cell update by row identifier, one insert, one delete,
// and the grid reopening its recordset. Prints one line per figure.
//   sql_edit_bench make TABLE.dbf N      writes a sample table of N records (with a memo field)
//   sql_edit_bench run FOLDER TABLE      runs the session on FOLDER/TABLE.dbf (changes it)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/format/table.h"

using namespace dorvane::provider;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void readFirstRows(Recordset& rs, int rows) {
    const auto source = rs.DataSource();
    for (std::int64_t r = 0; r < rows && r < source->rowCount(); ++r) {
        for (int c = 0; c < source->columnCount(); ++c) (void)source->value(r, c);
    }
}

int make(const char* path, long count) {
    std::vector<FieldSpec> fields(4);
    fields[0].name = "name", fields[0].type = 'C', fields[0].width = 30;
    fields[1].name = "qty", fields[1].type = 'N', fields[1].width = 10, fields[1].decimals = 2;
    fields[2].name = "born", fields[2].type = 'D';
    fields[3].name = "note", fields[3].type = 'M';
    auto table = Table::create(path, fields);
    table->setFlushEachChange(false);
    for (long i = 0; i < count; ++i) {
        table->appendValues({std::string("customer ") + std::to_string(i), double(i % 1000) / 4,
                             Date{2451545 + int(i % 9000)},
                             i % 10 == 0 ? Value(std::string("a memo of record ") + std::to_string(i)) : Value(std::string())});
    }
    table->flush();
    return 0;
}

int run(const std::string& folder, const std::string& name) {
    const std::string exclusive = "Provider=vfpoledb.1;Data Source=" + folder + ";Collating Sequence=general;mode=share exclusive;";
    auto start = Clock::now();
    Connection shared;
    shared.CursorLocation = 3;
    shared.Open(exclusive);
    shared.Execute("ALTER TABLE " + name + " ADD COLUMN tempidxxx i NULL");
    const long numbered = shared.Execute("UPDATE " + name + " SET tempidxxx = recno()");
    Recordset grid;
    grid.CursorLocation = 3;
    grid.Open("SELECT * FROM \"" + name + "\"", shared, 2, 3);
    readFirstRows(grid, 50);
    std::printf("open for editing (%ld records)\t%.2f ms\n", numbered, since(start));

    const long middle = numbered / 2;
    auto reopen = [&] {
        grid.Close();
        grid.Open("SELECT * FROM \"" + name + "\"", shared, 2, 3);
        readFirstRows(grid, 50);
    };
    start = Clock::now();
    shared.Execute("update " + name + " set name='O''Neil' where tempidxxx=" + std::to_string(middle));
    std::printf("cell update\t%.3f ms\n", since(start));
    start = Clock::now();
    reopen();
    std::printf("reopen grid\t%.3f ms\n", since(start));
    start = Clock::now();
    shared.Execute("update " + name + " set qty='12.5' where tempidxxx=" + std::to_string(middle + 1));
    reopen();
    std::printf("cell update + reopen\t%.3f ms\n", since(start));
    start = Clock::now();
    shared.Execute("INSERT INTO [" + name + "] (name,qty,born,note) VALUES ('new','7','2024-02-29','hello')");
    std::printf("insert\t%.3f ms\n", since(start));
    start = Clock::now();
    shared.Execute("DELETE FROM " + name + " WHERE tempidxxx=" + std::to_string(middle + 2));
    std::printf("delete\t%.3f ms\n", since(start));
    start = Clock::now();
    reopen();
    std::printf("reopen after delete\t%.3f ms\n", since(start));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "make") return make(argv[2], std::atol(argv[3]));
    if (argc == 4 && std::string(argv[1]) == "run") return run(argv[2], argv[3]);
    std::fprintf(stderr, "usage: sql_edit_bench make TABLE.dbf N | run FOLDER TABLE\n");
    return 2;
}
