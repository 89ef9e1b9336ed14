// Index maintenance benchmark: a table with three tags (an integer key, UPPER of a text, DTOS of a
// date). Times an insert and a one-field update against the same change on the table without an
// index (the median of several rounds taken in turn on the two tables), and building the three tags
// from scratch against reading the table. Prints one "figure: value" line per measurement; not a test.
//
//   index_bench FOLDER [RECORDS=1000000] [CHANGES=200]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "provider/error.h"
#include "provider/format/table.h"
#include "provider/index/cdx_file.h"
#include "provider/indexing/attach.h"

using namespace dorvane::provider;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const std::vector<FieldSpec> kFields = {
    {"id", "", 'I', 4}, {"name", "", 'C', 30}, {"born", "", 'D', 8}, {"qty", "", 'N', 10, 2}};

std::vector<index::TagContent> emptyTags() {
    std::vector<index::TagContent> tags(3);
    tags[0].definition = {"ID", "id", "", 4, index::KeyType::Integer};
    tags[1].definition = {"NAME", "UPPER(name)", "", 30, index::KeyType::Character};
    tags[2].definition = {"BORN", "DTOS(born)", "", 8, index::KeyType::Character};
    return tags;
}

std::vector<Value> recordFor(std::int64_t i) {
    return {i, "Name " + std::to_string((i * 7919) % 100003),
            Date{julianDayFromCivil(1950 + static_cast<int>(i % 70), 1 + static_cast<int>(i % 12), 1 + static_cast<int>(i % 28))},
            static_cast<double>(i % 1000) / 4};
}

struct ChangeTimes {
    double insert = 0, update = 0;  // seconds per change
};

ChangeTimes timeChanges(Table& table, int changes, std::int64_t firstId) {
    std::mt19937 random(42);
    ChangeTimes times;
    auto start = Clock::now();
    for (int i = 0; i < changes; ++i) table.appendValues(recordFor(firstId + i));
    times.insert = secondsSince(start) / changes;
    start = Clock::now();
    for (int i = 0; i < changes; ++i) {
        const auto recno = static_cast<std::uint32_t>(1 + random() % table.recordCount());
        table.update(recno, {{1, "Changed " + std::to_string(i)}});
    }
    times.update = secondsSince(start) / changes;
    return times;
}

ChangeTimes median(std::vector<ChangeTimes> rounds) {
    const auto middle = rounds.begin() + static_cast<std::ptrdiff_t>(rounds.size() / 2);
    ChangeTimes m;
    std::nth_element(rounds.begin(), middle, rounds.end(),
                     [](const ChangeTimes& a, const ChangeTimes& b) { return a.insert < b.insert; });
    m.insert = middle->insert;
    std::nth_element(rounds.begin(), middle, rounds.end(),
                     [](const ChangeTimes& a, const ChangeTimes& b) { return a.update < b.update; });
    m.update = middle->update;
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: index_bench FOLDER [RECORDS] [CHANGES]\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const long records = argc > 2 ? std::atol(argv[2]) : 1000000;
    const int changes = argc > 3 ? std::atoi(argv[3]) : 200;
    try {
        fs::create_directories(folder);
        const fs::path plain = folder / "plain.dbf", indexed = folder / "indexed.dbf";
        auto start = Clock::now();
        {
            auto table = Table::create(plain, kFields);
            for (long i = 1; i <= records; ++i) table->appendValues(recordFor(i));
        }
        std::printf("records: %ld\n", records);
        std::printf("make_table_s: %.3f\n", secondsSince(start));

        start = Clock::now();
        std::uint64_t sum = 0;
        {
            auto table = Table::open(plain, OpenMode::ReadOnly);
            std::vector<Value> values;
            for (std::uint32_t r = 1; r <= table->recordCount(); ++r) {
                table->readRecord(r, values);
                sum += std::get<std::string>(values[1]).size();
            }
        }
        const double read = secondsSince(start);
        std::printf("read_table_s: %.3f (checksum %llu)\n", read, static_cast<unsigned long long>(sum));

        fs::copy_file(plain, indexed, fs::copy_options::overwrite_existing);
        {
            std::fstream file(indexed, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(28);  // table flags: structural index
            file.put(static_cast<char>(kTableFlagStructuralIndex));
        }
        index::CdxFile::create((folder / "indexed.cdx").string(), emptyTags());

        auto indexedTable = Table::open(indexed, OpenMode::Exclusive);
        std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
        if (auto refusal = indexing::attachIndexMaintenance(*indexedTable, keep)) throw *refusal;
        start = Clock::now();
        auto entries = keep.front()->entriesFromRecords();
        const double keys = secondsSince(start);
        keep.front()->writeTags(std::move(entries));
        const double build = secondsSince(start);
        std::printf("build_three_tags_s: %.3f (keys from records %.3f, sorting and writing the file %.3f)\n",
                    build, keys, build - keys);
        std::printf("build_vs_read_ratio: %.2f (goal <= 5)\n", build / read);

        // Rounds alternate between the two tables, each round adding the same records to both, so
        // that both meet the machine in the same state; the median round counts.
        auto plainTable = Table::open(plain, OpenMode::Exclusive);
        constexpr int kRounds = 7;
        std::vector<ChangeTimes> plainRounds, indexedRounds;
        for (int round = 0; round < kRounds; ++round) {
            const std::int64_t firstId = records + 1 + static_cast<std::int64_t>(round) * changes;
            plainRounds.push_back(timeChanges(*plainTable, changes, firstId));
            indexedRounds.push_back(timeChanges(*indexedTable, changes, firstId));
        }
        const ChangeTimes without = median(plainRounds), with = median(indexedRounds);
        std::printf("insert_without_index_us: %.1f\n", without.insert * 1e6);
        std::printf("insert_with_index_us: %.1f\n", with.insert * 1e6);
        std::printf("insert_ratio: %.2f (goal <= 3)\n", with.insert / without.insert);
        std::printf("update_without_index_us: %.1f\n", without.update * 1e6);
        std::printf("update_with_index_us: %.1f\n", with.update * 1e6);
        std::printf("update_ratio: %.2f (goal <= 3)\n", with.update / without.update);
        keep.clear();
    } catch (const ProviderError& e) {
        std::fprintf(stderr, "index_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
