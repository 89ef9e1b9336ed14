// A small file beside a structural index naming the last record change the maintainer wrote to the
// index and the keys it gave each tag. Tags are written before the table, so when the table does not
// show those keys afterwards the process died (or the table write failed) between the two, and the
// index must be rebuilt.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::provider::indexing {

struct JournalEntry {
    std::uint32_t recno = 0;
    std::vector<std::optional<std::string>> keys;  // per tag, nullopt: not admitted
};

class ChangeJournal {
public:
    // The journal of the index at `indexPath`: ".<index file name>.pending" in the same folder,
    // created when missing. Raises ProviderError(FileAccessDenied) when it cannot be opened.
    explicit ChangeJournal(const std::filesystem::path& indexPath);
    ~ChangeJournal();
    ChangeJournal(const ChangeJournal&) = delete;
    ChangeJournal& operator=(const ChangeJournal&) = delete;

    static std::filesystem::path pathFor(const std::filesystem::path& indexPath);

    // Writes the entry; a process killed part-way leaves no entry or the whole new one. (Only the
    // newest change can need repair: each change reaches the table before the next begins.)
    void record(const JournalEntry& entry);
    // The last entry recorded, or nullopt when none (or the file is not a journal).
    std::optional<JournalEntry> last() const;
    // Forgets the last entry.
    void clear();
    // Closes and deletes the file.
    void remove();

private:
    // Stores `bytes` (a whole entry, or zeros) at the start of the file, the leading magic word last.
    void store(const std::string& bytes);
    [[noreturn]] void raiseAccessDenied() const;

    std::filesystem::path m_path;
    int m_fd = -1;
    // The file's first bytes, mapped (through the file layer) so that recording a change costs no
    // system call; null where the
    // file cannot be mapped (entries are then written with pwrite).
    unsigned char* m_map = nullptr;
    std::size_t m_mapped = 0;
    std::string m_bytes;  // reused for each entry
};

}  // namespace dorvane::provider::indexing
