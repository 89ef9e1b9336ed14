// Database containers (.dbc): the tables, views and long field names their object records list,
// and the changes that add or remove those records. The .dcx index is not kept here: while nothing
// maintains it, the .dbc Table refuses every write (see Table::ensureWritable()).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "provider/format/table.h"

namespace dorvane::provider {

struct ContainerField {
    std::int32_t objectId = 0;
    std::string name;  // the long name, as typed
};

struct ContainerTable {
    std::int32_t objectId = 0;
    std::uint32_t recno = 0;
    std::string name;                    // the long table name
    std::string relativePath;            // the Path property, relative to the .dbc folder
    std::filesystem::path path;          // resolved against the .dbc folder
    std::vector<ContainerField> fields;  // in the member table's field order
};

struct ContainerView {
    std::int32_t objectId = 0;
    std::string name;
    std::string sql;
};

class Container {
public:
    // Opens a .dbc and reads its object records. Raises as Table::open, and DbcInconsistent for
    // object records that contradict each other.
    static std::unique_ptr<Container> open(const std::filesystem::path& dbcPath,
                                           OpenMode mode = OpenMode::ReadOnly);

    const std::filesystem::path& path() const { return m_path; }
    // Tables in the container's order (deleted object records skipped).
    const std::vector<ContainerTable>& tables() const { return m_tables; }
    const std::vector<ContainerView>& views() const { return m_views; }
    // The table with this long name (any case), or null.
    const ContainerTable* findTable(std::string_view name) const;
    // The table whose Path names this .dbf (compared as files), or null.
    const ContainerTable* findTableByFile(const std::filesystem::path& dbf) const;
    // Opens a member table with its long field names. Raises TableNotInDatabase for an unknown name.
    std::unique_ptr<Table> openTable(std::string_view name, OpenMode mode = OpenMode::ReadOnly) const;
    // The .dbc itself, for attaching the index maintainer that makes it writable.
    Table& dbcTable() { return *m_table; }

    // Changes (each raises IndexNotMaintained while no observer keeps the .dcx up to date). They add or
    // mark deleted object records and write the member table's backlink; the member .dbf's structure
    // is the caller's business (Table::addField and friends).
    // Adds a Table row (Path relative to the .dbc folder) with Field rows, and backlinks `dbf`.
    void addTable(const std::string& name, const std::filesystem::path& dbf,
                  const std::vector<std::string>& fieldNames);
    // Marks the table's Table, Field and Index rows deleted and clears its backlink if the file exists.
    void removeTable(std::string_view name);
    void addField(std::string_view table, const std::string& fieldName);
    void removeField(std::string_view table, std::string_view fieldName);
    void renameField(std::string_view table, std::string_view fieldName, const std::string& newName);
    // Reads the object records again.
    void reload();

private:
    Container() = default;
    const ContainerTable& requireTable(std::string_view name) const;
    std::uint32_t appendObject(std::int32_t parentId, const std::string& type, const std::string& name,
                               const std::string& properties);
    std::int32_t nextObjectId();

    std::filesystem::path m_path;
    std::unique_ptr<Table> m_table;
    std::vector<ContainerTable> m_tables;
    std::vector<ContainerView> m_views;
    int m_objectId = -1, m_parentId = -1, m_objectType = -1, m_objectName = -1, m_property = -1;
};

// Opens a table and, when its backlink names a container that lists it, gives it the container's
// long field names. A container that cannot be read leaves the short names (the table still opens).
std::unique_ptr<Table> openTableWithLongNames(const std::filesystem::path& dbf,
                                              OpenMode mode = OpenMode::ReadOnly);

}  // namespace dorvane::provider
