// Engine benchmark: makes test tables and times whole-table reads, adding a field and opening a
// table for its first records. Prints one "figure: value" line per measurement; not a test.
//
//   engine_read_bench make TABLE.dbf RECORDS   a table with I, C, N, D, L and memo fields
//   engine_read_bench read TABLE.dbf           every record and memo, every value decoded
//   engine_read_bench addfield TABLE.dbf       one C(10) field added (the table is rewritten)
//   engine_read_bench first50 TABLE.dbf        open and read the first 50 records
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "provider/error.h"
#include "provider/format/table.h"

using namespace dorvane::provider;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Folds a value into a checksum, so no read can be optimised away and two runs can be compared.
std::uint64_t fold(std::uint64_t sum, const Value& value) {
    const auto mix = [&](std::uint64_t v) { return (sum ^ v) * 1099511628211ull; };
    if (const auto* text = std::get_if<std::string>(&value))
        return mix(text->size() + (text->empty() ? 0 : (*text)[0]));
    if (const auto* number = std::get_if<double>(&value))
        return mix(static_cast<std::uint64_t>(*number * 100));
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return mix(static_cast<std::uint64_t>(*integer));
    if (const auto* date = std::get_if<Date>(&value)) return mix(static_cast<std::uint64_t>(date->julianDay));
    if (const auto* flag = std::get_if<bool>(&value)) return mix(*flag ? 3 : 5);
    return mix(value.index());
}

int make(const char* path, long records) {
    const auto start = Clock::now();
    std::vector<FieldSpec> fieldSpecs(6);
    fieldSpecs[0].name = "ID", fieldSpecs[0].type = 'I';
    fieldSpecs[1].name = "NAME", fieldSpecs[1].type = 'C', fieldSpecs[1].width = 30;
    fieldSpecs[2].name = "AMOUNT", fieldSpecs[2].type = 'N', fieldSpecs[2].width = 12, fieldSpecs[2].decimals = 2;
    fieldSpecs[3].name = "BORN", fieldSpecs[3].type = 'D';
    fieldSpecs[4].name = "ACTIVE", fieldSpecs[4].type = 'L';
    fieldSpecs[5].name = "NOTES", fieldSpecs[5].type = 'M';
    auto table = Table::create(path, fieldSpecs);
    std::vector<Value> row(6);
    const std::int32_t day0 = julianDayFromCivil(1950, 1, 1);
    for (long i = 0; i < records; ++i) {
        row[0] = static_cast<std::int64_t>(i + 1);
        row[1] = "Customer n\xC2\xBA " + std::to_string(i);
        row[2] = static_cast<double>(i % 100000) + 0.25;
        row[3] = Date{day0 + static_cast<std::int32_t>(i % 20000)};
        row[4] = (i % 3) == 0;
        row[5] = "Note for record " + std::to_string(i) + ": caf\xC3\xA9, cr\xC3\xA8me, " +
                 std::string(static_cast<std::size_t>(40 + i % 80), 'x');
        table->appendValues(row);
    }
    table.reset();
    std::printf("make %ld records: %.3f s\n", records, secondsSince(start));
    return 0;
}

int readAll(const char* path) {
    const auto start = Clock::now();
    auto table = Table::open(path, OpenMode::ReadOnly);
    std::vector<Value> values;
    std::uint64_t sum = 14695981039346656037ull;
    const std::uint32_t count = table->recordCount();
    for (std::uint32_t recno = 1; recno <= count; ++recno) {
        sum = fold(sum, table->isDeleted(recno));
        table->readRecord(recno, values);
        for (const Value& value : values) sum = fold(sum, value);
    }
    const double seconds = secondsSince(start);
    std::printf("read %u records: %.3f s (%.0f records/s, checksum %016llx)\n", count, seconds,
                count / (seconds > 0 ? seconds : 1e-9), static_cast<unsigned long long>(sum));
    return 0;
}

int addField(const char* path) {
    const auto start = Clock::now();
    auto table = Table::open(path, OpenMode::Exclusive);
    FieldSpec fieldSpec;
    fieldSpec.name = "EXTRA";
    fieldSpec.type = 'C';
    fieldSpec.width = 10;
    table->addField(fieldSpec);
    table.reset();  // closing flushes
    std::printf("add field: %.3f s\n", secondsSince(start));
    return 0;
}

int first50(const char* path) {
    const auto start = Clock::now();
    auto table = Table::open(path, OpenMode::ReadOnly);
    std::vector<Value> values;
    std::uint64_t sum = 0;
    for (std::uint32_t recno = 1; recno <= 50 && recno <= table->recordCount(); ++recno) {
        table->readRecord(recno, values);
        for (const Value& value : values) sum = fold(sum, value);
    }
    std::printf("open and first 50 of %u: %.6f s (checksum %016llx)\n", table->recordCount(),
                secondsSince(start), static_cast<unsigned long long>(sum));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::strcmp(argv[1], "make") == 0) return make(argv[2], std::atol(argv[3]));
        if (argc == 3 && std::strcmp(argv[1], "read") == 0) return readAll(argv[2]);
        if (argc == 3 && std::strcmp(argv[1], "addfield") == 0) return addField(argv[2]);
        if (argc == 3 && std::strcmp(argv[1], "first50") == 0) return first50(argv[2]);
    } catch (const ProviderError& e) {
        std::fprintf(stderr, "error %d: %s\n", e.number(), e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: engine_read_bench make TABLE N | read TABLE | addfield TABLE | first50 TABLE\n");
    return 2;
}
