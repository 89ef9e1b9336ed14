#include "provider/indexing/key_scan.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <thread>

#include "provider/error.h"
#include "provider/format/file_io.h"
#include "provider/indexing/direct_key.h"
#include "provider/indexing/record_row.h"

namespace dorvane::provider::indexing {
namespace {

using DirectKeys = std::vector<std::optional<DirectKey>>;

// Records [first, last] of the table's file read in blocks, each handed to visit(recno, bytes). Once
// the table has written its batched updates, the file holds what the table holds.
template <class Visit>
void forEachRecord(const File& file, const TableHeader& header, const std::string& name, std::uint32_t first,
                   std::uint32_t last, Visit&& visit) {
    constexpr std::size_t kBlockBytes = 1 << 20;
    const std::size_t length = header.recordLength;
    const std::size_t perBlock = std::max<std::size_t>(1, kBlockBytes / length);
    std::vector<char> block(perBlock * length);
    for (std::uint64_t recno = first; recno <= last;) {
        const std::size_t n = std::min<std::uint64_t>(perBlock, last - recno + 1);
        const std::uint64_t offset = header.headerLength + (recno - 1) * length;
        if (file.readAt(offset, block.data(), n * length) != n * length)
            throw ProviderError::make(FoxError::TableCorrupted, name);
        for (std::size_t i = 0; i < n; ++i)
            visit(static_cast<std::uint32_t>(recno + i), block.data() + i * length);
        recno += n;
    }
}

// Fills the keys of the tags `direct` covers, one per record at the record's place; the records a
// reader leaves to TagKey::keyOf go to `leftOver` (per tag, ascending). Returns false, doing nothing,
// when the table's file cannot be opened apart from the table.
bool readDirectly(const Table& table, const DirectKeys& direct, std::vector<index::FlatKeys>& keys,
                  std::vector<std::vector<std::uint32_t>>& leftOver) {
    File file;
    try {
        file = File::openExisting(table.path(), false);
    } catch (const ProviderError&) {
        return false;
    }
    const std::uint32_t count = table.recordCount();
    std::vector<std::size_t> covered;
    for (std::size_t t = 0; t < direct.size(); ++t) {
        if (!direct[t]) continue;
        covered.push_back(t);
        keys[t].resize(count);  // filled below, each part by the thread reading it
    }

    constexpr std::uint32_t kRecordsPerThread = 32768;
    const std::size_t threads = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                                      1 + count / kRecordsPerThread);
    std::vector<std::vector<std::vector<std::uint32_t>>> missed(
        threads, std::vector<std::vector<std::uint32_t>>(direct.size()));
    std::vector<std::exception_ptr> errors(threads);
    const std::string name = table.path().filename().string();
    const auto work = [&](std::size_t part) {
        const auto first = static_cast<std::uint32_t>(std::uint64_t{count} * part / threads + 1);
        const auto last = static_cast<std::uint32_t>(std::uint64_t{count} * (part + 1) / threads);
        try {
            forEachRecord(file, table.header(), name, first, last,
                          [&](std::uint32_t recno, const char* record) {
                              for (const std::size_t t : covered) {
                                  keys[t].recnos[recno - 1] = recno;
                                  if (!direct[t]->keyOf(record, keys[t].mutableKey(recno - 1)))
                                      missed[part][t].push_back(recno);
                              }
                          });
        } catch (...) {
            errors[part] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    std::size_t started = 1;
    for (; started < threads; ++started) {
        try {
            helpers.emplace_back(work, started);
        } catch (const std::system_error&) {
            break;
        }
    }
    work(0);
    for (std::thread& helper : helpers) helper.join();
    for (std::size_t part = started; part < threads; ++part) work(part);  // parts no thread took
    for (const std::exception_ptr& error : errors)
        if (error) std::rethrow_exception(error);
    for (std::size_t part = 0; part < threads; ++part)
        for (const std::size_t t : covered)
            leftOver[t].insert(leftOver[t].end(), missed[part][t].begin(), missed[part][t].end());
    return true;
}

}  // namespace

std::vector<index::FlatKeys> keysFromRecords(Table& table, const std::vector<TagKey>& tags) {
    const std::uint32_t count = table.recordCount();
    std::vector<index::FlatKeys> keys;
    DirectKeys direct;
    for (const TagKey& tag : tags) {
        keys.emplace_back(tag.keyLength());
        direct.push_back(DirectKey::forTag(table, tag));
    }
    std::vector<std::vector<std::uint32_t>> leftOver(tags.size());
    // The records are read from the file: updates a write batch still holds go there first.
    table.writeBatchSoFar();
    const bool anyDirect =
        std::any_of(direct.begin(), direct.end(), [](const auto& d) { return d.has_value(); });
    if (anyDirect && count > 0 && !readDirectly(table, direct, keys, leftOver))
        direct.assign(tags.size(), std::nullopt);

    // The general path: every record for the tags no reader covers, the left-over records of the others.
    std::vector<std::size_t> general;
    for (std::size_t t = 0; t < tags.size(); ++t)
        if (!direct[t]) general.push_back(t);
    std::vector<Value> values;
    RecordRow row(table.fields());
    const auto readRow = [&](std::uint32_t recno) {
        table.readRecord(recno, values);
        row.set(&values, recno, table.isDeleted(recno));
    };
    if (!general.empty()) {
        for (std::uint32_t recno = 1; recno <= count; ++recno) {
            readRow(recno);
            for (const std::size_t t : general)
                if (const std::optional<std::string> key = tags[t].keyOf(row)) keys[t].add(*key, recno);
        }
    }
    for (std::size_t t = 0; t < tags.size(); ++t) {
        for (const std::uint32_t recno : leftOver[t]) {
            readRow(recno);
            const std::optional<std::string> key = tags[t].keyOf(row);
            // A tag read directly has no FOR clause: every record has a key.
            if (!key || key->size() != keys[t].keyLength) throw ProviderError::make(FoxError::IndexMismatch);
            std::copy(key->begin(), key->end(), keys[t].mutableKey(recno - 1));
        }
    }
    return keys;
}

}  // namespace dorvane::provider::indexing
