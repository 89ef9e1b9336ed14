// The tables of a data source: a folder of free tables, or a database container. Resolves the names
// statements use to files, lists the tables for the schema query, and adds or removes tables.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "provider/format/field.h"

namespace dorvane::provider {

class Container;

struct TableEntry {
    std::string name;  // as the schema query reports it
    std::string type;  // "TABLE" or "VIEW"
};

class SourceCatalog {
public:
    virtual ~SourceCatalog() = default;
    virtual std::vector<TableEntry> tables() const = 0;
    // The .dbf a statement's table name stands for. A quoted name may be a path (relative to the data
    // source's folder). Raises FileDoesNotExist when there is no such table.
    virtual std::filesystem::path resolve(const std::string& name, bool quoted) const = 0;
    // Where CREATE TABLE puts a table called `name` (a name or a path; ".dbf" added when it has no
    // extension). Raises FileAlreadyExists when a table of that name is there already.
    virtual std::filesystem::path placeNew(const std::string& name) const = 0;
    // Called after a table file was created / before its files are deleted.
    virtual void tableCreated(const std::filesystem::path& file, const std::vector<FieldSpec>& fields) {}
    virtual void tableDropped(const std::filesystem::path& file) {}
    // Raises unless the source itself may be changed (before a table or its fields change).
    virtual void beforeChange() {}
    // After a member table's field was added, removed or renamed.
    virtual void fieldAdded(const std::filesystem::path& file, const std::string& name) {}
    virtual void fieldRemoved(const std::filesystem::path& file, const std::string& name) {}
    virtual void fieldRenamed(const std::filesystem::path& file, const std::string& from, const std::string& to) {}
    // Longest field name a table of this source may have.
    virtual int maxFieldNameLength() const { return kMaxFreeFieldName; }
    virtual const std::filesystem::path& folder() const = 0;
    // The database container behind the source, or null for a folder of free tables.
    virtual Container* container() { return nullptr; }
};

// A folder of free tables: every .dbf in it, whatever the case of its name.
std::unique_ptr<SourceCatalog> openFolderCatalog(const std::filesystem::path& folder);

// A database container: the tables and views its .dbc lists.
std::unique_ptr<SourceCatalog> openContainerCatalog(const std::filesystem::path& dbcFile);

// Path of `name` relative to `folder` with ".dbf" added when it has no extension.
std::filesystem::path tablePathFor(const std::filesystem::path& folder, const std::string& name);

}  // namespace dorvane::provider
