#include "provider/ado/referential_integrity.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>

#include "provider/error.h"
#include "provider/file_system.h"
#include "provider/format/codepage.h"
#include "provider/format/file_io.h"
#include "provider/format/file_names.h"
#include "provider/general_collation.h"
#include "provider/indexing/attach.h"
#include "provider/indexing/record_row.h"
#include "provider/sql/evaluator.h"
#include "provider/sql/value_text.h"

// How a cascade stays all-or-nothing.
//
// A statement whose rules reach other tables is planned whole before anything is written: every
// record it deletes or changes, its own and the cascaded ones in other tables, and every restrict rule
// checked against that plan. Then, before the first write, an undo journal is written: for each
// planned record its file, record number, deletion flag and the values of the fields the plan changes,
// as they are now. It is written beside the statement's table as ".<table file>.cascade.new", flushed,
// and renamed to ".<table file>.cascade", so the journal is either whole or absent; a checksum at its
// end catches any other damage. Only then are the records written (the other tables first, then the
// statement's own). When the statement succeeds, the tables are flushed and the journal removed.
//
// When a write fails, the statement puts back every journalled record (deletion flag and values;
// putting back a record never reached writes what is already there) and removes the journal. When
// the process dies instead, the journal stays: the next connection on the folder, or the next
// statement on a table of the relation, undoes it the same way before anything else, after the index
// maintainer has made each table's index agree with its records again. So parent and children end
// as they were before the statement, or as the whole statement left them; never half-way.

namespace dorvane::provider {
namespace fs = std::filesystem;

namespace {

constexpr char kJournalMagic[8] = {'D', 'R', 'I', 'U', 'N', 'D', 'O', '1'};

fs::path journalPathFor(const fs::path& dbf) {
    return dbf.parent_path() / ("." + dbf.filename().string() + ".cascade");
}

std::string canonicalText(const fs::path& p) {
    std::error_code ec;
    const fs::path c = fs::weakly_canonical(p, ec);
    return (ec ? p : c).string();
}

// ---- Undo journal ----------------------------------------------------------------------------------

struct UndoEntry {
    std::string file;  // relative to the journal's folder
    std::uint32_t recno = 0;
    bool deleted = false;
    FieldAssignments before;
};

void put(std::string& out, const void* bytes, std::size_t n) {
    out.append(static_cast<const char*>(bytes), n);
}
template <class T>
void putNumber(std::string& out, T value) {
    put(out, &value, sizeof value);  // read back on the same machine only
}
void putText(std::string& out, const std::string& text) {
    putNumber(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

void putValue(std::string& out, const Value& v) {
    out += static_cast<char>(v.index());
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::string>) {
                putText(out, x);
            } else if constexpr (std::is_same_v<T, Blob>) {
                putText(out, x.bytes);
            } else if constexpr (!std::is_same_v<T, std::monostate>) {
                putNumber(out, x);
            }
        },
        v);
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    template <class T>
    T number() {
        T value{};
        need(sizeof value);
        std::memcpy(&value, m_bytes.data() + m_pos, sizeof value);
        m_pos += sizeof value;
        return value;
    }
    std::string text() {
        const auto n = number<std::uint32_t>();
        need(n);
        std::string s(m_bytes.substr(m_pos, n));
        m_pos += n;
        return s;
    }
    Value value() {
        switch (number<char>()) {
            case 0:
                return std::monostate{};
            case 1:
                return text();
            case 2:
                return number<double>();
            case 3:
                return number<std::int64_t>();
            case 4:
                return number<Currency>();
            case 5:
                return number<Date>();
            case 6:
                return number<DateTime>();
            case 7:
                return number<bool>();
            case 8:
                return Blob{text()};
            default:
                throw ProviderError::make(FoxError::DbcInconsistent);
        }
    }
    bool atEnd() const { return m_pos == m_bytes.size(); }

private:
    void need(std::size_t n) const {
        if (m_bytes.size() - m_pos < n) throw ProviderError::make(FoxError::DbcInconsistent);
    }
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

std::uint64_t checksum(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

std::string encodeJournal(const std::vector<UndoEntry>& entries) {
    std::string out(kJournalMagic, sizeof kJournalMagic);
    putNumber(out, static_cast<std::uint32_t>(entries.size()));
    for (const auto& e : entries) {
        putText(out, e.file);
        putNumber(out, e.recno);
        putNumber(out, e.deleted);
        putNumber(out, static_cast<std::uint32_t>(e.before.size()));
        for (const auto& [field, value] : e.before) {
            putNumber(out, static_cast<std::int32_t>(field));
            putValue(out, value);
        }
    }
    putNumber(out, checksum(out));
    return out;
}

// The entries, or nullopt for a journal that is not whole.
std::optional<std::vector<UndoEntry>> decodeJournal(const std::string& bytes) {
    if (bytes.size() < sizeof kJournalMagic + 12 || bytes.compare(0, 8, kJournalMagic, 8) != 0) return {};
    const std::string_view body(bytes.data(), bytes.size() - 8);
    std::uint64_t stored = 0;
    std::memcpy(&stored, bytes.data() + body.size(), 8);
    if (stored != checksum(body)) return {};
    try {
        Reader in(body.substr(8));
        std::vector<UndoEntry> entries(in.number<std::uint32_t>());
        for (auto& e : entries) {
            e.file = in.text();
            e.recno = in.number<std::uint32_t>();
            e.deleted = in.number<bool>();
            const auto fields = in.number<std::uint32_t>();
            for (std::uint32_t i = 0; i < fields; ++i) {
                const int field = in.number<std::int32_t>();
                e.before.emplace_back(field, in.value());
            }
        }
        if (!in.atEnd()) return {};
        return entries;
    } catch (const ProviderError&) {
        return {};
    }
}

std::optional<std::string> readWholeFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return std::nullopt;
    const File file = File::openExisting(path, false);
    std::string bytes(file.size(), '\0');
    bytes.resize(file.readAt(0, bytes.data(), bytes.size()));
    return bytes;
}

void writeJournal(const fs::path& path, const std::vector<UndoEntry>& entries) {
    const std::string bytes = encodeJournal(entries);
    fs::path temporary = path;
    temporary += ".new";
    {
        File file = File::create(temporary);
        file.writeAt(0, bytes.data(), bytes.size());
        file.sync();
    }
    replaceFile(temporary, path);
}

void removeJournal(const fs::path& path) {
    if (fileSystem().unlink(path.c_str()) != 0 && errno != ENOENT)
        throw ProviderError::make(FoxError::FileAccessDenied);
    syncDirectory(path.parent_path());
}

// Puts the journalled records back, last first. `tableOf` gives the open table for an entry's file.
void undo(const std::vector<UndoEntry>& entries, const std::function<Table&(const std::string&)>& tableOf,
          const std::function<void(Table&)>& changed) {
    std::vector<Table*> touched;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        Table& table = tableOf(it->file);
        if (it->recno == 0 || it->recno > table.recordCount()) continue;
        if (!it->before.empty()) table.update(it->recno, it->before);
        if (table.isDeleted(it->recno) != it->deleted) table.setDeleted(it->recno, it->deleted);
        if (std::find(touched.begin(), touched.end(), &table) == touched.end()) touched.push_back(&table);
    }
    for (Table* table : touched) {
        table->flush();
        if (auto* maintainer = indexing::maintainerOf(*table)) maintainer->indexFile().sync();
        changed(*table);
    }
}

// ---- Keys ------------------------------------------------------------------------------------------

// One end of a relation: the table, its tag's key maker and index, the key expression compiled for
// evaluating to a value, and the field a cascaded key is written to.
struct TagUse {
    Table* table = nullptr;
    const indexing::TagKey* tag = nullptr;
    index::CdxFile* cdx = nullptr;
    std::string tagName;
    std::optional<sql::CompiledExpr> expression;
    int keyField = -1;
};

// The bytes to look a value up by in a tag, FoxPro's SEEK with SET EXACT OFF: a character value of a
// MACHINE tag matches keys that begin with it (`prefix`), others the whole key. Nullopt: the value
// can be no key of the tag (null, another type), so nothing matches.
std::optional<std::string> seekKey(const indexing::TagKey& tag, const Value& value, bool& prefix) {
    prefix = false;
    if (isNull(value)) return std::nullopt;
    const std::uint16_t length = tag.valueLength();
    std::string bytes;
    try {
        switch (tag.keyType()) {
            case index::KeyType::Character: {
                const auto* text = std::get_if<std::string>(&value);
                if (!text) return std::nullopt;
                const std::string encoded = tag.codePage()->encode(*text);
                if (tag.general()) {
                    bytes = encodeGeneralKey(encoded, length);
                } else if (!tag.nullable() && !encoded.empty()) {
                    prefix = true;
                    return encoded.substr(0, std::min<std::size_t>(encoded.size(), length));
                } else {
                    bytes = index::encodeCharacterKey(encoded, length);
                }
                break;
            }
            case index::KeyType::Numeric: {
                double d = 0;
                if (auto i = std::get_if<std::int64_t>(&value))
                    d = double(*i);
                else if (auto x = std::get_if<double>(&value))
                    d = *x;
                else if (auto y = std::get_if<Currency>(&value))
                    d = double(y->scaled) / 10000.0;
                else
                    return std::nullopt;
                bytes = index::encodeDoubleKey(d);
                break;
            }
            case index::KeyType::Integer: {
                Value whole = value;
                if (auto x = std::get_if<double>(&value)) {
                    if (std::floor(*x) != *x) return std::nullopt;
                    whole = std::int64_t(*x);
                }
                bytes = index::encodeKey(whole, tag.keyType(), length);
                break;
            }
            default:
                bytes = index::encodeKey(value, tag.keyType(), length);
        }
    } catch (const ProviderError&) {
        return std::nullopt;  // a text the code page cannot hold, a value of another type
    }
    if (tag.nullable()) return index::encodeNullableKey(bytes, length);
    return bytes;
}

std::optional<std::string> keyOfValues(const TagUse& use, const std::vector<Value>& values) {
    indexing::RecordRow row(use.table->fields());
    row.set(&values, 0, false);
    return use.tag->keyOf(row);
}

Value keyValueOf(const TagUse& use, const std::vector<Value>& values) {
    indexing::RecordRow row(use.table->fields());
    row.set(&values, 0, false);
    return use.expression->evaluate(row);
}

}  // namespace

// ---- Container links, cached per container file ----------------------------------------------------

struct ReferentialIntegrity::Links {
    fs::file_time_type stamp;
    std::uintmax_t size = 0;
    std::vector<ContainerRelation> relations;        // enforced ones only
    std::vector<std::string> childFile, parentFile;  // canonical, per relation
    std::vector<TableTriggers> triggers;
    std::vector<std::string> triggerFile;
    std::map<std::string, std::string> names;  // canonical file -> long table name

    // Whether an enforced relation has the table at either end.
    bool involve(const Table& table) const {
        if (relations.empty()) return false;
        const std::string file = canonicalText(table.path());
        return std::find(childFile.begin(), childFile.end(), file) != childFile.end() ||
               std::find(parentFile.begin(), parentFile.end(), file) != parentFile.end();
    }
};

const ReferentialIntegrity::Links* ReferentialIntegrity::linksFor(const Table& table) {
    const auto dbc = table.containerPath();
    if (!dbc) return nullptr;
    std::error_code ec;
    const auto stamp = fs::last_write_time(*dbc, ec);
    const auto size = fs::file_size(*dbc, ec);
    if (ec) return nullptr;  // the table opened without its container: nothing declared to keep
    auto& cached = m_links[*dbc];
    if (cached && cached->stamp == stamp && cached->size == size) return cached.get();
    auto links = std::make_unique<Links>();
    links->stamp = stamp;
    links->size = size;
    ContainerLinks read = readContainerLinks(*dbc);
    for (auto& relation : read.relations) {
        links->names[canonicalText(relation.childPath)] = relation.childTable;
        links->names[canonicalText(relation.parentPath)] = relation.parentTable;
        if (!relation.enforced()) continue;
        links->childFile.push_back(canonicalText(relation.childPath));
        links->parentFile.push_back(canonicalText(relation.parentPath));
        links->relations.push_back(std::move(relation));
    }
    for (auto& triggers : read.triggers) links->triggerFile.push_back(canonicalText(triggers.path));
    links->triggers = std::move(read.triggers);
    cached = std::move(links);
    return cached.get();
}

std::vector<std::string> ReferentialIntegrity::foreignTriggers(const Table& table) {
    const Links* links = linksFor(table);
    if (!links) return {};
    const std::string file = canonicalText(table.path());
    for (std::size_t i = 0; i < links->triggers.size(); ++i)
        if (links->triggerFile[i] == file) return provider::foreignTriggers(links->triggers[i]);
    return {};
}

// ---- The plan of one statement ---------------------------------------------------------------------

struct ReferentialIntegrity::Plan {
    struct Change {
        Table* table = nullptr;
        std::uint32_t recno = 0;
        bool remove = false;
        FieldAssignments set;
        int viaRelation = -1;  // the relation whose cascade changed the record's key
        // The statement's own records: it writes `set` (and deletes) itself; what cascades add to them
        // (a table related to itself) goes to `extra`, written here.
        bool own = false;
        bool ownRemove = false;
        FieldAssignments extra;

        bool leftToUs() const { return !own || !extra.empty() || (remove && !ownRemove); }
    };

    ReferentialIntegrity& ri;
    const Links& links;
    Table& target;
    std::string targetName;
    std::vector<Change> changes;
    std::map<std::pair<const Table*, std::uint32_t>, std::size_t> at;
    std::map<std::string, TagUse> uses;
    std::map<const Table*, std::string> files;
    std::vector<Table::WriteHold> holds;
    std::set<const Table*> held;

    Plan(ReferentialIntegrity& owner, const Links& l, Table& t)
        : ri(owner), links(l), target(t), files{{&t, canonicalText(t.path())}} {
        const auto name = links.names.find(files[&t]);
        targetName = name != links.names.end() ? name->second : t.path().stem().string();
    }

    [[noreturn]] void refuse() const { throw ProviderError::make(FoxError::TriggerFailed, targetName); }

    const std::string& fileOf(const Table& table) {
        auto it = files.find(&table);
        if (it == files.end()) it = files.emplace(&table, canonicalText(table.path())).first;
        return it->second;
    }

    // The table of a relation end, held for the statement in shared use.
    Table& tableAt(const fs::path& path) {
        Table& table = canonicalText(path) == fileOf(target) ? target : ri.m_tables.open(path);
        if (held.insert(&table).second && &table != &target) holds.push_back(table.holdForWriting());
        return table;
    }

    TagUse& use(Table& table, const std::string& tagName) {
        const std::string id = fileOf(table) + '\n' + tagName;
        if (auto it = uses.find(id); it != uses.end()) return it->second;
        auto* maintainer = indexing::maintainerOf(table);
        if (!maintainer) {
            table.ensureWritable();  // says why the index is not kept, when it is not
            throw ProviderError::make(FoxError::StructuralCdxNotFound);
        }
        TagUse u;
        u.table = &table;
        for (const auto& tag : maintainer->tags())
            if (equalsIgnoringAsciiCase(tag.name(), tagName)) u.tag = &tag;
        if (!u.tag)
            throw ProviderError(FoxError::TagNotFound, foxproMessage(FoxError::TagNotFound) + " (" + tagName +
                                                           " of " + table.path().filename().string() + ")");
        u.cdx = &maintainer->indexFile();
        u.tagName = u.tag->name();
        u.expression =
            sql::compileExpression(u.cdx->tag(u.tagName).header.keyExpression, indexing::TableCatalog(table));
        const auto kind = u.tag->form().kind;
        if (kind == indexing::KeyForm::Kind::Field || kind == indexing::KeyForm::Kind::Upper ||
            kind == indexing::KeyForm::Kind::Lower)
            u.keyField = u.tag->form().field;
        return uses.emplace(id, std::move(u)).first->second;
    }

    bool plannedRemove(const Table* table, std::uint32_t recno) const {
        const auto it = at.find({table, recno});
        return it != at.end() && changes[it->second].remove;
    }

    // Live records (not deleted, not deleted by this plan) whose key in the tag matches the value.
    std::vector<std::uint32_t> liveWithKey(const TagUse& u, const Value& value) const {
        bool prefix = false;
        const auto key = seekKey(*u.tag, value, prefix);
        std::vector<std::uint32_t> found;
        if (!key) return found;
        for (auto e = u.cdx->lowerBound(u.tagName, *key, 0); e;
             e = u.cdx->lowerBound(u.tagName, e->key, e->recno + 1)) {
            if (prefix ? e->key.compare(0, key->size(), *key) != 0 : e->key != *key) break;
            if (!u.table->isDeleted(e->recno) && !plannedRemove(u.table, e->recno)) found.push_back(e->recno);
        }
        return found;
    }

    // Adds a record's change to the plan (merged with one planned already). Returns whether the
    // plan changed, so the record's own rules are to be looked at (again).
    bool add(Table& table, std::uint32_t recno, bool remove, const FieldAssignments& set, int via = -1,
             bool own = false) {
        const auto [it, fresh] = at.emplace(std::make_pair(&table, recno), changes.size());
        if (fresh) {
            changes.push_back({&table, recno, remove, set, via, own, own && remove, {}});
            return true;
        }
        Change& c = changes[it->second];
        if (c.remove) return false;
        if (remove) {
            c.remove = true;
            return true;
        }
        bool changed = false;
        FieldAssignments& into = c.own ? c.extra : c.set;
        for (const auto& [field, value] : set) {
            auto same =
                std::find_if(into.begin(), into.end(), [&](const auto& a) { return a.first == field; });
            if (same == into.end()) {
                into.emplace_back(field, value);
                changed = true;
            } else if (!(same->second == value)) {
                same->second = value;
                changed = true;
            }
        }
        if (changed && via >= 0) c.viaRelation = via;
        return changed;
    }

    // The child's key must name a live parent (the insert rule's restrict, for inserts and key changes).
    void requireParent(std::size_t k, const std::vector<Value>& childValues) {
        const ContainerRelation& r = links.relations[k];
        const TagUse& child = use(*tableOfFile(links.childFile[k], r.childPath), r.childTag);
        TagUse& parent = use(tableAt(r.parentPath), r.parentTag);
        if (liveWithKey(parent, keyValueOf(child, childValues)).empty()) refuse();
    }

    Table* tableOfFile(const std::string& file, const fs::path& path) {
        return file == fileOf(target) ? &target : &tableAt(path);
    }

    // Whether assigning these fields of the statement's table can change a key a rule looks at (the
    // editor numbering its row identifier in every record changes none).
    bool keysMayChange(const FieldAssignments& assigned) {
        const std::string& file = fileOf(target);
        for (std::size_t k = 0; k < links.relations.size(); ++k) {
            const ContainerRelation& r = links.relations[k];
            std::vector<const TagUse*> ends;
            if (links.parentFile[k] == file && r.onUpdate != RiAction::Ignore)
                ends.push_back(&use(target, r.parentTag));
            if (links.childFile[k] == file && r.onInsert == RiAction::Restrict)
                ends.push_back(&use(target, r.childTag));
            for (const TagUse* end : ends)
                for (const auto& [field, value] : assigned) {
                    const auto& used = end->tag->fieldsUsed();
                    if (std::find(used.begin(), used.end(), field) != used.end()) return true;
                }
        }
        return false;
    }

    // Works out what the change at `index` brings about through every relation of its table.
    void follow(std::size_t index, std::vector<std::size_t>& queue) {
        const Change c = changes[index];
        Table& table = *c.table;
        const std::string& file = fileOf(table);
        const std::vector<Value> before = table.record(c.recno);
        std::vector<Value> after = before;
        for (const auto& [field, value] : c.set) after[std::size_t(field)] = value;
        for (const auto& [field, value] : c.extra) after[std::size_t(field)] = value;
        for (std::size_t k = 0; k < links.relations.size(); ++k) {
            const ContainerRelation& r = links.relations[k];
            if (links.parentFile[k] == file) {
                const RiAction action = c.remove ? r.onDelete : r.onUpdate;
                if (action == RiAction::Ignore) continue;
                TagUse& parent = use(table, r.parentTag);
                if (!c.remove && keyOfValues(parent, before) == keyOfValues(parent, after)) continue;
                Table& childTable = tableAt(r.childPath);
                TagUse& child = use(childTable, r.childTag);
                const auto children = liveWithKey(child, keyValueOf(parent, before));
                if (children.empty()) continue;
                if (action == RiAction::Restrict) refuse();
                FieldAssignments set;
                if (!c.remove) {
                    if (child.keyField < 0) refuse();  // a key expression no value can be written back to
                    const Field& f = childTable.fields()[std::size_t(child.keyField)];
                    set.emplace_back(child.keyField, sql::convertForField(keyValueOf(parent, after), f.type,
                                                                          f.width, f.decimals));
                    childTable.checkValues(set);
                }
                for (std::uint32_t recno : children) {
                    if (add(childTable, recno, c.remove, set, int(k)))
                        queue.push_back(at[{&childTable, recno}]);
                }
            }
            if (links.childFile[k] == file && !c.remove && r.onInsert == RiAction::Restrict &&
                c.viaRelation != int(k)) {
                TagUse& child = use(table, r.childTag);
                if (keyOfValues(child, before) != keyOfValues(child, after)) requireParent(k, after);
            }
        }
    }

    void settle(std::vector<std::size_t> queue) {
        // Each record's change is looked at again only when the plan changed it; a cycle of cascades
        // writing the same keys ends.
        for (std::size_t step = 0; step < queue.size(); ++step) {
            if (step > 10'000'000) refuse();
            follow(queue[step], queue);
        }
    }
};

// ---- Cascade ---------------------------------------------------------------------------------------

struct ReferentialIntegrity::Cascade::State {
    IntegrityTables tables;
    std::vector<Table::WriteHold> holds;
    fs::path journal;  // empty: nothing journalled
    std::vector<UndoEntry> entries;
    std::vector<Table*> touched;
    bool committed = false;
};

ReferentialIntegrity::Cascade::Cascade() = default;
ReferentialIntegrity::Cascade::Cascade(Cascade&&) noexcept = default;

ReferentialIntegrity::Cascade::~Cascade() {
    if (!m_state || m_state->committed || m_state->journal.empty()) return;
    State& s = *m_state;
    try {
        const fs::path folder = s.journal.parent_path();
        undo(
            s.entries, [&](const std::string& file) -> Table& { return s.tables.open(folder / file); },
            s.tables.changed);
        removeJournal(s.journal);
    } catch (...) {
        // The journal stays; the next statement on these tables, or the next connection, undoes it.
    }
}

void ReferentialIntegrity::Cascade::commit() {
    if (!m_state || m_state->journal.empty()) return;
    for (Table* table : m_state->touched) {
        table->flush();
        if (auto* maintainer = indexing::maintainerOf(*table)) maintainer->indexFile().sync();
    }
    removeJournal(m_state->journal);
    m_state->committed = true;
}

// ---- Entry points ----------------------------------------------------------------------------------

ReferentialIntegrity::ReferentialIntegrity(IntegrityTables tables) : m_tables(std::move(tables)) {}
ReferentialIntegrity::~ReferentialIntegrity() = default;

ReferentialIntegrity::Cascade ReferentialIntegrity::beforeInsert(Table& table,
                                                                 const FieldAssignments& values) {
    const Links* links = linksFor(table);
    if (!links || !links->involve(table)) return {};
    recoverAround(table, *links);
    Plan plan(*this, *links, table);
    std::vector<Value> record;
    for (const Field& f : table.fields()) record.push_back(valueLeftOut(f));
    for (const auto& [field, value] : values) record[std::size_t(field)] = value;
    for (std::size_t k = 0; k < links->relations.size(); ++k) {
        if (links->childFile[k] == plan.fileOf(table) && links->relations[k].onInsert == RiAction::Restrict)
            plan.requireParent(k, record);
    }
    Cascade cascade;
    cascade.m_state = std::make_unique<Cascade::State>();
    cascade.m_state->holds = std::move(plan.holds);
    return cascade;
}

ReferentialIntegrity::Cascade ReferentialIntegrity::beforeUpdate(
    Table& table, const std::vector<std::uint32_t>& records,
    const std::function<FieldAssignments(std::uint32_t)>& newValues) {
    const Links* links = linksFor(table);
    if (!links || !links->involve(table)) return {};
    recoverAround(table, *links);
    Plan plan(*this, *links, table);
    if (records.empty() || !plan.keysMayChange(newValues(records.front()))) return {};
    for (std::uint32_t recno : records) plan.add(table, recno, false, newValues(recno), -1, true);
    return run(table, plan);
}

ReferentialIntegrity::Cascade ReferentialIntegrity::beforeDelete(Table& table,
                                                                 const std::vector<std::uint32_t>& records) {
    const Links* links = linksFor(table);
    if (!links || !links->involve(table)) return {};
    recoverAround(table, *links);
    Plan plan(*this, *links, table);
    for (std::uint32_t recno : records) plan.add(table, recno, true, {}, -1, true);
    return run(table, plan);
}

ReferentialIntegrity::Cascade ReferentialIntegrity::run(Table& table, Plan& plan) {
    std::vector<std::size_t> queue(plan.changes.size());
    for (std::size_t i = 0; i < queue.size(); ++i) queue[i] = i;
    plan.settle(std::move(queue));

    Cascade cascade;
    cascade.m_state = std::make_unique<Cascade::State>();
    Cascade::State& s = *cascade.m_state;
    s.tables = m_tables;
    s.holds = std::move(plan.holds);
    if (std::none_of(plan.changes.begin(), plan.changes.end(),
                     [](const Plan::Change& c) { return c.leftToUs(); }))
        return cascade;

    const fs::path folder = table.path().parent_path();
    for (const auto& c : plan.changes) {
        c.table->ensureWritable();
        UndoEntry e;
        e.file = fs::relative(c.table->path(), folder).string();
        e.recno = c.recno;
        e.deleted = c.table->isDeleted(c.recno);
        for (const auto* set : {&c.set, &c.extra})
            for (const auto& [field, value] : *set)
                e.before.emplace_back(field, c.table->value(c.recno, field));
        s.entries.push_back(std::move(e));
        if (std::find(s.touched.begin(), s.touched.end(), c.table) == s.touched.end())
            s.touched.push_back(c.table);
    }
    s.journal = journalPathFor(table.path());
    writeJournal(s.journal, s.entries);
    // From here on the cascade's destruction before commit() undoes what was written.
    for (const auto& c : plan.changes) {
        if (!c.own) {
            if (c.remove)
                c.table->setDeleted(c.recno, true);
            else
                c.table->update(c.recno, c.set);
            continue;
        }
        if (c.remove && !c.ownRemove) c.table->setDeleted(c.recno, true);
        if (!c.extra.empty()) c.table->update(c.recno, c.extra);
    }
    for (Table* touched : s.touched) m_tables.changed(*touched);
    return cascade;
}

// ---- Recovery --------------------------------------------------------------------------------------

void ReferentialIntegrity::recoverJournal(const fs::path& journal) {
    const auto bytes = readWholeFile(journal);
    if (!bytes) return;
    const auto entries = decodeJournal(*bytes);
    if (!entries) {
        // Never completed, so nothing was written after it.
        removeJournal(journal);
        return;
    }
    const fs::path folder = journal.parent_path();
    std::map<std::string, Table*> tables;
    std::vector<Table::WriteHold> holds;
    for (const auto& e : *entries) {
        if (tables.count(e.file)) continue;
        Table& table = m_tables.open(folder / e.file);
        holds.push_back(table.holdForWriting());
        tables[e.file] = &table;
    }
    // Another user may have undone it (and maybe left another) while this one waited for the tables.
    if (readWholeFile(journal) != bytes) return;
    undo(
        *entries, [&](const std::string& file) -> Table& { return *tables.at(file); }, m_tables.changed);
    removeJournal(journal);
}

void ReferentialIntegrity::recoverAround(const Table& table, const Links& links) {
    std::set<fs::path> files{table.path()};
    const std::string file = canonicalText(table.path());
    for (std::size_t k = 0; k < links.relations.size(); ++k) {
        if (links.childFile[k] == file || links.parentFile[k] == file) {
            files.insert(links.relations[k].childPath);
            files.insert(links.relations[k].parentPath);
        }
    }
    std::error_code ec;
    for (const auto& f : files)
        if (fs::exists(journalPathFor(f), ec)) recoverJournal(journalPathFor(f));
}

void ReferentialIntegrity::recoverFolder(const fs::path& folder) noexcept {
    try {
        std::vector<fs::path> journals;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() > 9 && name[0] == '.' && name.ends_with(".cascade"))
                journals.push_back(it->path());
        }
        for (const auto& journal : journals) {
            try {
                recoverJournal(journal);
            } catch (...) {
                // Tried again by the next statement on its tables.
            }
        }
    } catch (...) {
    }
}

}  // namespace dorvane::provider
