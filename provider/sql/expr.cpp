#include "provider/sql/expr.h"

#include "provider/sql/value_text.h"

namespace dorvane::provider::sql {

ExprPtr Expr::makeLiteral(Value v, std::size_t pos) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Literal;
    e->literal = std::move(v);
    e->position = pos;
    return e;
}

ExprPtr Expr::makeField(std::string name, std::string alias, std::size_t pos) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Field;
    e->name = std::move(name);
    e->alias = std::move(alias);
    e->position = pos;
    return e;
}

ExprPtr Expr::makeUnary(ExprOp op, ExprPtr operand, std::size_t pos) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Unary;
    e->op = op;
    e->position = pos;
    e->addArg(std::move(operand));
    return e;
}

ExprPtr Expr::makeBinary(ExprOp op, ExprPtr left, ExprPtr right, std::size_t pos) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Binary;
    e->op = op;
    e->position = pos;
    e->addArg(std::move(left));
    e->addArg(std::move(right));
    return e;
}

void Expr::addArg(ExprPtr arg) {
    if (arg->depth + 1 > depth) depth = arg->depth + 1;
    args.push_back(std::move(arg));
}

bool isComparison(ExprOp op) {
    return op >= ExprOp::Equal && op <= ExprOp::GreaterEqual;
}

namespace {

const char* opName(ExprOp op) {
    switch (op) {
        case ExprOp::None:
            return "?";
        case ExprOp::Negate:
            return "neg";
        case ExprOp::Not:
            return "not";
        case ExprOp::Add:
            return "+";
        case ExprOp::Subtract:
            return "-";
        case ExprOp::Multiply:
            return "*";
        case ExprOp::Divide:
            return "/";
        case ExprOp::Modulo:
            return "%";
        case ExprOp::Power:
            return "^";
        case ExprOp::Contains:
            return "$";
        case ExprOp::Like:
            return "like";
        case ExprOp::Equal:
            return "=";
        case ExprOp::ExactEqual:
            return "==";
        case ExprOp::NotEqual:
            return "<>";
        case ExprOp::Less:
            return "<";
        case ExprOp::LessEqual:
            return "<=";
        case ExprOp::Greater:
            return ">";
        case ExprOp::GreaterEqual:
            return ">=";
        case ExprOp::And:
            return "and";
        case ExprOp::Or:
            return "or";
    }
    return "?";
}

}  // namespace

std::string describeValue(const Value& v) {
    if (isNull(v)) return "null";
    if (const auto* s = std::get_if<std::string>(&v)) {
        std::string out = "'";
        for (char c : *s) {
            out.push_back(c);
            if (c == '\'') out.push_back('\'');
        }
        return out + "'";
    }
    if (std::holds_alternative<bool>(v)) return std::get<bool>(v) ? ".T." : ".F.";
    if (std::holds_alternative<Date>(v)) return "{^" + formatForGrid(v, 'D', 0) + "}";
    if (std::holds_alternative<DateTime>(v)) return "{^" + formatForGrid(v, 'T', 0) + "}";
    if (std::holds_alternative<Currency>(v)) return "$" + formatForGrid(v, 'Y', 4);
    if (std::holds_alternative<Blob>(v)) return "0h" + formatForGrid(v, 'W', 0);
    if (std::holds_alternative<std::int64_t>(v)) return formatForGrid(v, 'I', 0);
    return formatForGrid(v, 'B', 0);
}

std::string describe(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Literal:
            return describeValue(e.literal);
        case ExprKind::Field:
            return e.alias.empty() ? e.name : e.alias + "." + e.name;
        case ExprKind::IsNull:
            return std::string(e.negated ? "(notnull " : "(isnull ") + describe(*e.args[0]) + ")";
        case ExprKind::Call: {
            std::string out = "(call " + e.name;
            for (const auto& a : e.args) out += " " + describe(*a);
            return out + ")";
        }
        case ExprKind::Unary:
        case ExprKind::Binary: {
            std::string out = std::string("(") + opName(e.op);
            for (const auto& a : e.args) out += " " + describe(*a);
            return out + ")";
        }
    }
    return "?";
}

}  // namespace dorvane::provider::sql
