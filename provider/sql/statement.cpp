#include "provider/sql/statement.h"

namespace dorvane::provider::sql {

namespace {

std::string tableText(const TableRef& t) {
    return t.quoted ? "'" + t.name + "'" : t.name;
}

std::string whereText(const ExprPtr& where) {
    return where ? " WHERE " + describe(*where) : std::string();
}

template <typename T>
std::string joined(const std::vector<T>& items, auto render) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : ",") + render(item);
    return out;
}

struct Describer {
    std::string operator()(const SelectStatement& s) const {
        const std::string list = s.items.empty() ? "*" : joined(s.items, [](const SelectItem& i) {
            return describe(*i.expr) + (i.name.empty() ? "" : " AS " + i.name);
        });
        std::string order;
        if (!s.orderBy.empty())
            order = " ORDER BY " + joined(s.orderBy, [](const OrderItem& o) {
                        return describe(*o.expr) + (o.descending ? " DESC" : "");
                    });
        return "SELECT " + list + " FROM " + tableText(s.table) + whereText(s.where) + order;
    }
    std::string operator()(const UpdateStatement& s) const {
        return "UPDATE " + tableText(s.table) + " SET " +
               joined(s.assignments, [](const Assignment& a) { return a.field + "=" + describe(*a.value); }) +
               whereText(s.where);
    }
    std::string operator()(const InsertStatement& s) const {
        std::string out = "INSERT INTO " + tableText(s.table);
        if (!s.columns.empty()) out += " (" + joined(s.columns, [](const std::string& c) { return c; }) + ")";
        return out + " VALUES (" + joined(s.values, [](const ExprPtr& v) { return describe(*v); }) + ")";
    }
    std::string operator()(const DeleteStatement& s) const {
        return "DELETE FROM " + tableText(s.table) + whereText(s.where);
    }
    std::string operator()(const AlterAddColumn& s) const {
        return "ALTER TABLE " + tableText(s.table) + " ADD " + describe(s.field);
    }
    std::string operator()(const AlterRenameColumn& s) const {
        return "ALTER TABLE " + tableText(s.table) + " RENAME " + s.from + " TO " + s.to;
    }
    std::string operator()(const AlterDropColumn& s) const {
        return "ALTER TABLE " + tableText(s.table) + " DROP " + s.field;
    }
    std::string operator()(const CreateTableStatement& s) const {
        return std::string("CREATE TABLE ") + tableText(s.table) + (s.freeTable ? " FREE" : "") + " (" +
               joined(s.fields, [](const FieldDef& f) { return describe(f); }) +
               (s.check.empty() ? "" : ", CHECK " + s.check) +
               (s.checkMessage.empty() ? "" : " ERROR " + s.checkMessage) + ")";
    }
    std::string operator()(const DropTableStatement& s) const { return "DROP TABLE " + tableText(s.table); }
};

}  // namespace

std::string describe(const FieldDef& f) {
    std::string out =
        f.name + " " + f.type + "(" + std::to_string(f.width) + "," + std::to_string(f.decimals) + ")";
    if (f.nullable) out += *f.nullable ? " NULL" : " NOT NULL";
    if (!f.check.empty()) out += " CHECK " + f.check;
    if (!f.checkMessage.empty()) out += " ERROR " + f.checkMessage;
    if (!f.defaultValue.empty()) out += " DEFAULT " + f.defaultValue;
    return out;
}

const TableRef& tableOf(const Statement& s) {
    return std::visit([](const auto& statement) -> const TableRef& { return statement.table; }, s);
}

std::string describe(const Statement& s) {
    return std::visit(Describer{}, s);
}

}  // namespace dorvane::provider::sql
