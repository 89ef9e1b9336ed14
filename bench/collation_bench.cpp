// GENERAL against MACHINE collation: two copies of one code page 1252 table, each with one tag on its
// character field, the one in GENERAL collation, the other in MACHINE. Times building the tag, an
// insert and a one-field update on each (the median of several rounds taken in turn on the two
// tables). Prints one "figure: value" line per measurement; not a test.
//
//   collation_bench FOLDER [RECORDS=1000000] [CHANGES=200]
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

const std::vector<FieldSpec> kFields = {{"id", "", 'I', 4}, {"name", "", 'C', 30}};

// Accented, mixed-case names, so GENERAL keys carry diacritics and expansions.
std::vector<Value> recordFor(std::int64_t i) {
    static const char* const kStems[] = {
        "\xC3\x86r\xC3\xB8sk\xC3\xB8"
        "bing",
        "stra\xC3\x9F"
        "e",
        "\xC3\x89"
        "cole",
        "M\xC3\xBCller",
        "Nu\xC3\xB1"
        "ez",
        "oeuvre",
        "Zo\xC3\xAB",
        "BERN"};
    return {i, std::string(kStems[i % 8]) + " " + std::to_string((i * 7919) % 100003)};
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
        table.update(recno, {{1, std::get<std::string>(recordFor(firstId + 7 * i)[1])}});
    }
    times.update = secondsSince(start) / changes;
    return times;
}

double medianOf(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

struct Indexed {
    std::unique_ptr<Table> table;
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> keep;
    double buildSeconds = 0;
};

Indexed indexedCopy(const fs::path& plain, const fs::path& target, const std::string& collation) {
    fs::copy_file(plain, target, fs::copy_options::overwrite_existing);
    {
        std::fstream file(target, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(28);  // table flags: structural index
        file.put(static_cast<char>(kTableFlagStructuralIndex));
    }
    index::TagContent tag;
    const bool general = collation == "GENERAL";
    tag.definition = {"NAME", "name", "", static_cast<std::uint16_t>(general ? 60 : 30),
                      index::KeyType::Character};
    tag.definition.collation = collation;
    fs::path cdx = target;
    index::CdxFile::create(cdx.replace_extension(".cdx").string(), {tag});
    Indexed out;
    out.table = Table::open(target, OpenMode::Exclusive);
    if (auto refusal = indexing::attachIndexMaintenance(*out.table, out.keep)) throw *refusal;
    const auto start = Clock::now();
    out.keep.front()->rebuild();
    out.buildSeconds = secondsSince(start);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: collation_bench FOLDER [RECORDS] [CHANGES]\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const long records = argc > 2 ? std::atol(argv[2]) : 1000000;
    const int changes = argc > 3 ? std::atoi(argv[3]) : 200;
    try {
        fs::create_directories(folder);
        const fs::path plain = folder / "plain.dbf";
        {
            auto table = Table::create(plain, kFields);
            for (long i = 1; i <= records; ++i) table->appendValues(recordFor(i));
        }
        std::printf("records: %ld\n", records);
        Indexed machine = indexedCopy(plain, folder / "machine.dbf", "MACHINE");
        Indexed general = indexedCopy(plain, folder / "general.dbf", "GENERAL");
        std::printf("build_machine_tag_s: %.3f\n", machine.buildSeconds);
        std::printf("build_general_tag_s: %.3f\n", general.buildSeconds);

        // Rounds alternate between the two tables, each adding the same records to both; the median
        // round counts.
        constexpr int kRounds = 7;
        std::vector<double> mi, mu, gi, gu;
        for (int round = 0; round < kRounds; ++round) {
            const std::int64_t firstId = records + 1 + static_cast<std::int64_t>(round) * changes;
            const ChangeTimes m = timeChanges(*machine.table, changes, firstId);
            const ChangeTimes g = timeChanges(*general.table, changes, firstId);
            mi.push_back(m.insert), mu.push_back(m.update), gi.push_back(g.insert), gu.push_back(g.update);
        }
        const double mInsert = medianOf(mi), mUpdate = medianOf(mu), gInsert = medianOf(gi),
                     gUpdate = medianOf(gu);
        std::printf("insert_machine_us: %.1f\n", mInsert * 1e6);
        std::printf("insert_general_us: %.1f\n", gInsert * 1e6);
        std::printf("insert_ratio: %.2f (goal <= 1.5)\n", gInsert / mInsert);
        std::printf("update_machine_us: %.1f\n", mUpdate * 1e6);
        std::printf("update_general_us: %.1f\n", gUpdate * 1e6);
        std::printf("update_ratio: %.2f (goal <= 1.5)\n", gUpdate / mUpdate);
    } catch (const ProviderError& e) {
        std::fprintf(stderr, "collation_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
