#include "provider/sql/evaluator.h"

#include <algorithm>

#include "provider/error.h"
#include "provider/sql/eval_node.h"
#include "provider/sql/parser.h"
#include "provider/sql/text_utils.h"
#include "provider/sql/value_ops.h"

namespace dorvane::provider::sql {

namespace detail {
namespace {

[[noreturn]] void mismatch() {
    throw ProviderError::make(FoxError::DataTypeMismatch);
}

ExprType typeOfField(char type, int width, int decimals) {
    switch (type) {
        case 'V':
            return {'C', width, 0};
        case 'N':
        case 'F':
            return {'N', 8, decimals};
        case 'I':
            return {'I', 4, 0};
        case 'B':
            return {'B', 8, decimals};
        case 'Y':
            return {'Y', 8, 4};
        case 'D':
        case 'T':
            return {type, 8, 0};
        case 'L':
            return {'L', 1, 0};
        default:
            return {type, width, decimals};
    }
}

ExprType typeOfValue(const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return {'C', static_cast<int>(charCount(*s)), 0};
    if (std::holds_alternative<double>(v) || std::holds_alternative<std::int64_t>(v)) return {'N', 8, 0};
    if (std::holds_alternative<bool>(v)) return {'L', 1, 0};
    if (std::holds_alternative<Date>(v)) return {'D', 8, 0};
    if (std::holds_alternative<DateTime>(v)) return {'T', 8, 0};
    if (std::holds_alternative<Currency>(v)) return {'Y', 8, 4};
    if (std::holds_alternative<Blob>(v)) return {'W', 4, 0};
    return {};
}

bool isTextType(char t) {
    return t == 'C' || t == 'M';
}
bool isDateType(char t) {
    return t == 'D' || t == 'T';
}

class ConstNode : public Node {
public:
    explicit ConstNode(Value v) : m_value(std::move(v)) { type = typeOfValue(m_value); }
    Value eval(const Scope&) const override { return m_value; }
    const Value* constant() const override { return &m_value; }

private:
    Value m_value;
};

class FieldNode : public Node {
public:
    explicit FieldNode(int index) : m_index(index) {}
    Value eval(const Scope& s) const override { return s.row.field(m_index); }

private:
    int m_index;
};

class NegateNode : public Node {
public:
    explicit NegateNode(NodePtr operand) : m_operand(std::move(operand)) { type = m_operand->type; }
    Value eval(const Scope& s) const override { return applyNegate(m_operand->eval(s)); }

private:
    NodePtr m_operand;
};

class NotNode : public Node {
public:
    explicit NotNode(NodePtr operand) : m_operand(std::move(operand)) { type = {'L', 1, 0}; }
    Value eval(const Scope& s) const override {
        const Value v = m_operand->eval(s);
        if (isNull(v)) return v;
        if (const auto* b = std::get_if<bool>(&v)) return !*b;
        mismatch();
    }

private:
    NodePtr m_operand;
};

class ArithmeticNode : public Node {
public:
    ArithmeticNode(ExprOp op, NodePtr left, NodePtr right)
        : m_op(op), m_left(std::move(left)), m_right(std::move(right)) {
        const ExprType& l = m_left->type;
        const ExprType& r = m_right->type;
        if (op == ExprOp::Contains || op == ExprOp::Like)
            type = {'L', 1, 0};
        else if ((op == ExprOp::Add || op == ExprOp::Subtract) && isTextType(l.type) && isTextType(r.type))
            type = {'C', l.width + r.width, 0};
        else if (op == ExprOp::Subtract && isDateType(l.type) && isDateType(r.type))
            type = {'N', 8, 0};
        else if (isDateType(l.type))
            type = l;
        else if (isDateType(r.type) && op == ExprOp::Add)
            type = r;
        else if (l.type != 'U' && r.type != 'U')
            type = {l.type == 'Y' || r.type == 'Y' ? 'Y' : 'N', 8, 0};
    }
    Value eval(const Scope& s) const override {
        if (m_op == ExprOp::Like) return applyLike(m_left->eval(s), m_right->eval(s));
        return applyArithmetic(m_op, m_left->eval(s), m_right->eval(s));
    }

private:
    ExprOp m_op;
    NodePtr m_left, m_right;
};

// Comparison; when one side is a constant it is held here and never copied per record.
class CompareNode : public Node {
public:
    CompareNode(ExprOp op, NodePtr left, NodePtr right)
        : m_op(op), m_left(std::move(left)), m_right(std::move(right)) {
        type = {'L', 1, 0};
    }
    Value eval(const Scope& s) const override {
        if (const Value* c = m_right->constant())
            return applyComparison(m_op, m_left->eval(s), *c, s.options);
        if (const Value* c = m_left->constant())
            return applyComparison(m_op, *c, m_right->eval(s), s.options);
        return applyComparison(m_op, m_left->eval(s), m_right->eval(s), s.options);
    }

private:
    ExprOp m_op;
    NodePtr m_left, m_right;
};

// AND / OR with FoxPro's short cut and three-valued null: .F. AND null = .F., .T. OR null = .T.
class LogicNode : public Node {
public:
    LogicNode(bool isAnd, NodePtr left, NodePtr right)
        : m_and(isAnd), m_left(std::move(left)), m_right(std::move(right)) {
        type = {'L', 1, 0};
    }
    Value eval(const Scope& s) const override {
        const Value a = m_left->eval(s);
        const bool* av = std::get_if<bool>(&a);
        if (!av && !isNull(a)) mismatch();
        if (av && *av != m_and) return *av;  // decided by the left side
        const Value b = m_right->eval(s);
        const bool* bv = std::get_if<bool>(&b);
        if (!bv && !isNull(b)) mismatch();
        if (bv && *bv != m_and) return *bv;
        if (!av || !bv) return Value{};
        return m_and;
    }

private:
    bool m_and;
    NodePtr m_left, m_right;
};

class IsNullNode : public Node {
public:
    IsNullNode(NodePtr operand, bool negated) : m_operand(std::move(operand)), m_negated(negated) {
        type = {'L', 1, 0};
    }
    Value eval(const Scope& s) const override { return isNull(m_operand->eval(s)) != m_negated; }

private:
    NodePtr m_operand;
    bool m_negated;
};

class Compiler {
public:
    Compiler(const FieldCatalog& fields, const EvalOptions& options) : m_fields(fields), m_options(options) {}

    NodePtr compile(const Expr& e, int depth = 0) {
        if (depth > kMaxExprDepth) throw ProviderError::make(FoxError::SyntaxError);
        const std::size_t needed = e.kind == ExprKind::Binary                                ? 2
                                   : e.kind == ExprKind::Unary || e.kind == ExprKind::IsNull ? 1
                                                                                             : 0;
        if (e.args.size() < needed) throw ProviderError::make(FoxError::SyntaxError);  // a malformed tree
        switch (e.kind) {
            case ExprKind::Literal:
                return std::make_unique<ConstNode>(e.literal);
            case ExprKind::Field:
                return field(e);
            case ExprKind::IsNull: {
                NodePtr operand = compile(*e.args[0], depth + 1);
                const bool constant = operand->constant();
                return fold(std::make_unique<IsNullNode>(std::move(operand), e.negated), constant);
            }
            case ExprKind::Unary: {
                NodePtr operand = compile(*e.args[0], depth + 1);
                const bool constant = operand->constant();
                if (e.op == ExprOp::Not) return fold(std::make_unique<NotNode>(std::move(operand)), constant);
                return fold(std::make_unique<NegateNode>(std::move(operand)), constant);
            }
            case ExprKind::Binary: {
                NodePtr left = compile(*e.args[0], depth + 1);
                NodePtr right = compile(*e.args[1], depth + 1);
                const bool constant = left->constant() && right->constant();
                if (e.op == ExprOp::And || e.op == ExprOp::Or)
                    return fold(
                        std::make_unique<LogicNode>(e.op == ExprOp::And, std::move(left), std::move(right)),
                        constant);
                if (isComparison(e.op))
                    return fold(std::make_unique<CompareNode>(e.op, std::move(left), std::move(right)),
                                constant);
                return fold(std::make_unique<ArithmeticNode>(e.op, std::move(left), std::move(right)),
                            constant);
            }
            case ExprKind::Call: {
                std::vector<NodePtr> args;
                bool allConstant = true;
                for (const auto& a : e.args) {
                    args.push_back(compile(*a, depth + 1));
                    allConstant = allConstant && args.back()->constant();
                }
                NodePtr call = makeCallNode(e.name, std::move(args));
                const bool isVolatile = call->isVolatile();
                return fold(std::move(call), allConstant && !isVolatile);
            }
        }
        throw ProviderError::make(FoxError::SyntaxError);
    }

    std::vector<int> takeFields() {
        std::sort(m_used.begin(), m_used.end());
        m_used.erase(std::unique(m_used.begin(), m_used.end()), m_used.end());
        return std::move(m_used);
    }

private:
    NodePtr field(const Expr& e) {
        const std::string shown = e.alias.empty() ? e.name : e.alias + "." + e.name;
        if (!e.alias.empty() && !m_fields.alias().empty() && !equalsIgnoreCase(e.alias, m_fields.alias()))
            throw ProviderError::make(FoxError::VariableNotFound, shown);
        const std::optional<int> index = m_fields.fieldIndex(e.name);
        if (!index) throw ProviderError::make(FoxError::VariableNotFound, shown);
        auto node = std::make_unique<FieldNode>(*index);
        node->type = typeOfField(m_fields.fieldType(*index), m_fields.fieldWidth(*index),
                                 m_fields.fieldDecimals(*index));
        m_used.push_back(*index);
        return node;
    }

    // Nodes whose operands are all constants are computed now (unless that fails: the error then
    // belongs to evaluation, where FoxPro would raise it).
    NodePtr fold(NodePtr node, bool operandsConstant) {
        if (!operandsConstant) return node;
        struct NoRow : RowContext {
            Value field(int) const override { return {}; }
            std::int64_t recno() const override { return 0; }
            bool deleted() const override { return false; }
        } noRow;
        try {
            const ExprType type = node->type;
            auto folded = std::make_unique<ConstNode>(node->eval(Scope{noRow, m_options}));
            if (type.type != 'U') folded->type = type;
            return folded;
        } catch (const ProviderError&) {
            return node;
        }
    }

    const FieldCatalog& m_fields;
    const EvalOptions& m_options;
    std::vector<int> m_used;
};

}  // namespace
}  // namespace detail

CompiledExpr::CompiledExpr() = default;
CompiledExpr::~CompiledExpr() = default;
CompiledExpr::CompiledExpr(CompiledExpr&&) noexcept = default;
CompiledExpr& CompiledExpr::operator=(CompiledExpr&&) noexcept = default;

Value CompiledExpr::evaluate(const RowContext& row) const {
    if (!m_root) return Value{};
    return m_root->eval(detail::Scope{row, m_options});
}

bool CompiledExpr::matches(const RowContext& row) const {
    const Value v = evaluate(row);
    if (const auto* b = std::get_if<bool>(&v)) return *b;
    if (isNull(v)) return false;
    throw ProviderError::make(FoxError::DataTypeMismatch);
}

const ExprType& CompiledExpr::resultType() const {
    static const ExprType kUnknown;
    return m_root ? m_root->type : kUnknown;
}

CompiledExpr compileExpression(const Expr& expr, const FieldCatalog& fields, EvalOptions options) {
    CompiledExpr result;
    result.m_options = std::move(options);
    detail::Compiler compiler(fields, result.m_options);
    result.m_root = compiler.compile(expr);
    result.m_fields = compiler.takeFields();
    return result;
}

Value evaluateConstant(const Expr& expr, const EvalOptions& options) {
    struct NoTable : FieldCatalog, RowContext {
        std::optional<int> fieldIndex(std::string_view) const override { return std::nullopt; }
        char fieldType(int) const override { return 'U'; }
        int fieldWidth(int) const override { return 0; }
        Value field(int) const override { return {}; }
        std::int64_t recno() const override { return 0; }
        bool deleted() const override { return false; }
    } none;
    return compileExpression(expr, none, options).evaluate(none);
}

CompiledExpr compileExpression(std::string_view text, const FieldCatalog& fields, EvalOptions options) {
    return compileExpression(*parseExpression(text), fields, std::move(options));
}

}  // namespace dorvane::provider::sql
