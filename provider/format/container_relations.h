// What a container declares about the links between its tables: the Relation records (with the
// referential-integrity letters FoxPro's builder stores in RIINFO) and the triggers each Table record
// names. Read only; the rules are carried out by the statement executor (referential_integrity.h).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace dorvane::provider {

// One RIINFO letter: C cascade, R restrict, I (or blank, or anything else) ignore.
enum class RiAction { Ignore, Restrict, Cascade };

RiAction riActionOf(char letter);
char riLetterOf(RiAction action);

// A Relation record: the child is the record's parent object, its tag in property 13; the parent
// table in property 18, its tag in property 19; RIINFO gives the rules for update, delete, insert.
struct ContainerRelation {
    std::string childTable;  // long table names, as the Table records give them
    std::string childTag;
    std::string parentTable;
    std::string parentTag;
    std::filesystem::path childPath;  // the member .dbf files
    std::filesystem::path parentPath;
    RiAction onUpdate = RiAction::Ignore;
    RiAction onDelete = RiAction::Ignore;
    RiAction onInsert = RiAction::Ignore;

    bool enforced() const {
        return onUpdate != RiAction::Ignore || onDelete != RiAction::Ignore || onInsert != RiAction::Ignore;
    }
};

// The insert, update and delete trigger expressions of a Table record (properties 14, 15, 16).
struct TableTriggers {
    std::string table;
    std::filesystem::path path;
    std::string onInsert, onUpdate, onDelete;
};

struct ContainerLinks {
    std::vector<ContainerRelation> relations;  // in record order, deleted records skipped
    std::vector<TableTriggers> triggers;       // tables naming at least one trigger
};

// Reads the Relation and Table records of a .dbc. A relation naming a table the container does not
// list is left out (FoxPro could not run it either). Raises as Container::open.
ContainerLinks readContainerLinks(const std::filesystem::path& dbc);

// Whether a trigger expression is the call FoxPro's referential-integrity builder writes for this
// kind of trigger ("insert", "update", "delete"): __ri_<kind>_<table>(), in any case. Such triggers
// carry out the RIINFO letters and nothing else.
bool isIntegrityBuilderTrigger(const std::string& expression, const std::string& kind);

// The triggers of a table that are neither empty nor the builder's calls: stored procedures only
// FoxPro can run. Each as "<kind> trigger: <expression>".
std::vector<std::string> foreignTriggers(const TableTriggers& triggers);

}  // namespace dorvane::provider
