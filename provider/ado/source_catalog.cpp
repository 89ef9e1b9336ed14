#include "provider/ado/source_catalog.h"

#include <algorithm>
#include <strings.h>

#include "provider/error.h"
#include "provider/format/container.h"
#include "provider/format/file_names.h"
#include "provider/indexing/attach.h"

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

// A database container: its tables by their long names, and the container kept in step when a
// statement adds, drops or alters one of them.
class ContainerCatalog final : public SourceCatalog {
public:
    explicit ContainerCatalog(const fs::path& dbc)
        : m_container(Container::open(dbc, OpenMode::Shared)), m_folder(dbc.parent_path()) {
        m_dcxRefusal = indexing::attachIndexMaintenance(m_container->dbcTable(), m_dcx);
    }

    std::vector<TableEntry> tables() const override {
        m_container->reload();
        std::vector<TableEntry> entries;
        for (const auto& table : m_container->tables()) entries.push_back({table.name, "TABLE"});
        for (const auto& view : m_container->views()) entries.push_back({view.name, "VIEW"});
        return entries;
    }

    fs::path resolve(const std::string& name, bool quoted) const override {
        m_container->reload();
        if (const ContainerTable* table = m_container->findTable(name)) return table->path;
        // A path to one of its files names the table too.
        const fs::path wanted = tablePathFor(m_folder, name);
        if (const ContainerTable* table = m_container->findTableByFile(wanted)) return table->path;
        throw ProviderError::make(FoxError::FileDoesNotExist, wanted.filename().string());
    }

    fs::path placeNew(const std::string& name) const override {
        m_container->reload();
        checkWritable();
        const fs::path wanted = tablePathFor(m_folder, name);
        if (m_container->findTable(wanted.stem().string()) || resolveFileCaseInsensitive(wanted.parent_path(), wanted.filename().string())) {
            throw ProviderError::make(FoxError::FileAlreadyExists, wanted.filename().string());
        }
        return wanted;
    }

    void tableCreated(const fs::path& file, const std::vector<FieldSpec>& fields) override {
        std::vector<std::string> names;
        for (const auto& field : fields) names.push_back(field.name);
        m_container->addTable(file.stem().string(), file, names);
    }

    void beforeChange() override { checkWritable(); }

    void tableDropped(const fs::path& file) override {
        if (const ContainerTable* table = m_container->findTableByFile(file)) m_container->removeTable(table->name);
    }

    void fieldAdded(const fs::path& file, const std::string& name) override {
        m_container->addField(tableName(file), name);
    }
    void fieldRemoved(const fs::path& file, const std::string& name) override {
        m_container->removeField(tableName(file), name);
    }
    void fieldRenamed(const fs::path& file, const std::string& from, const std::string& to) override {
        m_container->renameField(tableName(file), from, to);
    }

    int maxFieldNameLength() const override { return kMaxContainerFieldName; }
    const fs::path& folder() const override { return m_folder; }
    Container* container() override { return m_container.get(); }

private:
    void checkWritable() const {
        if (m_dcxRefusal) throw *m_dcxRefusal;
        m_container->dbcTable().ensureWritable();
    }

    std::string tableName(const fs::path& file) const {
        const ContainerTable* table = m_container->findTableByFile(file);
        if (!table) throw ProviderError::make(FoxError::DbcInconsistent);
        return table->name;
    }

    std::unique_ptr<Container> m_container;
    // Keep the container's own index true; declared after the container, so they go first.
    std::vector<std::unique_ptr<indexing::IndexMaintainer>> m_dcx;
    std::optional<ProviderError> m_dcxRefusal;
    fs::path m_folder;
};

}  // namespace

std::unique_ptr<SourceCatalog> openContainerCatalog(const fs::path& dbcFile) {
    return std::make_unique<ContainerCatalog>(dbcFile);
}

}  // namespace dorvane::provider
