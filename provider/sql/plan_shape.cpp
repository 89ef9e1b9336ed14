#include "provider/sql/plan_shape.h"

#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

bool fits(char fieldType, const Value& c, ExprOp op) {
    switch (fieldType) {
        case 'N':
        case 'F':
        case 'B':
        case 'I':
        case 'Y':
            return std::holds_alternative<std::int64_t>(c) || std::holds_alternative<double>(c) ||
                   std::holds_alternative<Currency>(c);
        case 'D':
        case 'T':
            return std::holds_alternative<Date>(c) || std::holds_alternative<DateTime>(c);
        case 'L':
            return std::holds_alternative<bool>(c);
        case 'C':
        case 'V':
            return op == ExprOp::ExactEqual && std::holds_alternative<std::string>(c);
        default:
            return false;
    }
}

void collect(const Expr& e, const FieldCatalog& fields, std::vector<FieldEquality>& out) {
    if (e.kind != ExprKind::Binary) return;
    if (e.op == ExprOp::And) {
        collect(*e.args[0], fields, out);
        collect(*e.args[1], fields, out);
        return;
    }
    if (e.op != ExprOp::Equal && e.op != ExprOp::ExactEqual) return;
    const Expr* field = e.args[0].get();
    const Expr* constant = e.args[1].get();
    if (field->kind != ExprKind::Field) std::swap(field, constant);
    if (field->kind != ExprKind::Field || constant->kind != ExprKind::Literal) return;
    if (!field->alias.empty() && !fields.alias().empty() && !equalsIgnoreCase(field->alias, fields.alias()))
        return;
    const auto index = fields.fieldIndex(field->name);
    if (!index || !fits(fields.fieldType(*index), constant->literal, e.op)) return;
    out.push_back(FieldEquality{*index, constant->literal});
}

}  // namespace

std::vector<FieldEquality> findFieldEqualities(const Expr& where, const FieldCatalog& fields) {
    std::vector<FieldEquality> out;
    collect(where, fields, out);
    return out;
}

}  // namespace dorvane::provider::sql
