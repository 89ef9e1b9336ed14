#include "provider/ado/source_catalog.h"

#include <algorithm>
#include <strings.h>

#include "provider/error.h"
#include "provider/format/file_names.h"

namespace dorvane::provider {
namespace fs = std::filesystem;

namespace {

bool isDbf(const fs::path& p) { return strcasecmp(p.extension().string().c_str(), ".dbf") == 0; }

class FolderCatalog final : public SourceCatalog {
public:
    explicit FolderCatalog(fs::path folder) : m_folder(std::move(folder)) {}

    std::vector<TableEntry> tables() const override {
        std::vector<TableEntry> entries;
        std::error_code ec;
        for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (!isDbf(it->path()) || !it->is_regular_file(ec)) continue;
            entries.push_back({it->path().stem().string(), "TABLE"});
        }
        if (ec) throw ProviderError::make(FoxError::FileAccessDenied);
        std::sort(entries.begin(), entries.end(), [](const TableEntry& a, const TableEntry& b) {
            const int c = strcasecmp(a.name.c_str(), b.name.c_str());
            return c != 0 ? c < 0 : a.name < b.name;
        });
        return entries;
    }

    fs::path resolve(const std::string& name, bool quoted) const override {
        const fs::path wanted = tablePathFor(m_folder, name);
        const auto found = resolveFileCaseInsensitive(wanted.parent_path(), wanted.filename().string());
        if (!found) throw ProviderError::make(FoxError::FileDoesNotExist, wanted.filename().string());
        return *found;
    }

    fs::path placeNew(const std::string& name) const override {
        const fs::path wanted = tablePathFor(m_folder, name);
        std::error_code ec;
        if (!fs::is_directory(wanted.parent_path(), ec)) {
            throw ProviderError::make(FoxError::FileDoesNotExist, wanted.parent_path().string());
        }
        if (resolveFileCaseInsensitive(wanted.parent_path(), wanted.filename().string())) {
            throw ProviderError::make(FoxError::FileAlreadyExists, wanted.filename().string());
        }
        return wanted;
    }

    const fs::path& folder() const override { return m_folder; }

private:
    fs::path m_folder;
};

}  // namespace

fs::path tablePathFor(const fs::path& folder, const std::string& name) {
    std::string text = name;
    // Paths may come with Windows separators.
    std::replace(text.begin(), text.end(), '\\', '/');
    fs::path p(text);
    if (!p.has_extension()) p += ".dbf";
    return p.is_absolute() ? p : folder / p;
}

std::unique_ptr<SourceCatalog> openFolderCatalog(const fs::path& folder) {
    return std::make_unique<FolderCatalog>(folder);
}

}  // namespace dorvane::provider

namespace dorvane::provider {
namespace {

// Until container files can be read: opens, but every use reports the container unreadable.
class UnreadableContainerCatalog final : public SourceCatalog {
public:
    explicit UnreadableContainerCatalog(fs::path dbc) : m_dbc(std::move(dbc)), m_folder(m_dbc.parent_path()) {}
    std::vector<TableEntry> tables() const override { fail(); }
    fs::path resolve(const std::string&, bool) const override { fail(); }
    fs::path placeNew(const std::string&) const override { fail(); }
    const fs::path& folder() const override { return m_folder; }

private:
    [[noreturn]] void fail() const { throw ProviderError::make(FoxError::DbcInconsistent); }
    fs::path m_dbc;
    fs::path m_folder;
};

}  // namespace

std::unique_ptr<SourceCatalog> openContainerCatalog(const fs::path& dbcFile) {
    return std::make_unique<UnreadableContainerCatalog>(dbcFile);
}

}  // namespace dorvane::provider
