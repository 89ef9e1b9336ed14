// Referential integrity as a container's Relation records declare it (RIINFO: update, delete and
// insert rules, each cascade, restrict or ignore), carried out natively for INSERT, UPDATE and DELETE
// the way the triggers of FoxPro's referential-integrity builder carry them out: keys are the tags'
// keys, looked up in the tables' structural indexes; deleted records do not count; a refused statement
// raises "Trigger failed" (1539) naming its table and writes nothing.
//
// A cascade writes several tables; it is made all-or-nothing by an undo journal (see the .cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "provider/format/container_relations.h"
#include "provider/format/table.h"

namespace dorvane::provider {

// What the statement executor lends: its open table for a file (opened as a statement opens it, index
// maintained), and word that one of them was written outside the statement's own loop.
struct IntegrityTables {
    std::function<Table&(const std::filesystem::path&)> open;
    std::function<void(Table&)> changed;
};

class ReferentialIntegrity {
public:
    explicit ReferentialIntegrity(IntegrityTables tables);
    ~ReferentialIntegrity();
    ReferentialIntegrity(const ReferentialIntegrity&) = delete;
    ReferentialIntegrity& operator=(const ReferentialIntegrity&) = delete;

    // What a statement did to related tables. Until commit() (after the statement's own writes) its
    // destruction undoes every change of the statement, its own table's included, from the journal.
    class Cascade {
    public:
        Cascade();
        Cascade(Cascade&&) noexcept;
        ~Cascade();
        // The statement succeeded: its changes reach the disk and the journal goes.
        void commit();

    private:
        friend class ReferentialIntegrity;
        struct State;
        std::unique_ptr<State> m_state;
    };

    // Each raises ProviderError(TriggerFailed) when a restrict rule refuses the statement, having
    // written nothing. Otherwise the cascaded changes to other tables are written before they return;
    // the statement then writes its own records and commits.
    [[nodiscard]] Cascade beforeInsert(Table& table, const FieldAssignments& values);
    [[nodiscard]] Cascade beforeUpdate(Table& table, const std::vector<std::uint32_t>& records,
                                       const std::function<FieldAssignments(std::uint32_t)>& newValues);
    [[nodiscard]] Cascade beforeDelete(Table& table, const std::vector<std::uint32_t>& records);

    // Undoes the cascades that writers stopped in the middle of left in `folder` (at connection open).
    // Never raises: a journal that cannot be undone now is tried again by the next statement on its
    // tables.
    void recoverFolder(const std::filesystem::path& folder) noexcept;

    // The insert, update and delete triggers of the table that are stored procedures only FoxPro runs
    // (the referential-integrity builder's own calls left out), each as "<kind> trigger: <expression>".
    std::vector<std::string> foreignTriggers(const Table& table);

private:
    struct Links;
    struct Plan;
    const Links* linksFor(const Table& table);
    Cascade run(Table& table, Plan& plan);
    void recoverJournal(const std::filesystem::path& journal);
    void recoverAround(const Table& table, const Links& links);

    IntegrityTables m_tables;
    std::map<std::filesystem::path, std::unique_ptr<Links>> m_links;  // by container file
};

}  // namespace dorvane::provider
