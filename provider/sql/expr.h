// The parsed form of a FoxPro expression: field names still unresolved, literals already typed.
// compileExpression() (evaluator.h) turns it into something that runs per record.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "provider/value.h"

namespace dorvane::provider::sql {

enum class ExprKind { Literal, Field, Unary, Binary, Call, IsNull };

enum class ExprOp {
    None,
    // unary
    Negate,
    Not,
    // binary arithmetic and text
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo,
    Power,
    Contains,  // a $ b
    Like,      // SQL: a LIKE pattern, % any run of characters, _ one character
    // comparison
    Equal,
    ExactEqual,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    // logic
    And,
    Or,
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    ExprKind kind = ExprKind::Literal;
    ExprOp op = ExprOp::None;
    Value literal;              // Literal
    std::string name;           // Field: field name; Call: function name (upper case)
    std::string alias;          // Field: the alias before the dot, if any
    bool negated = false;       // IsNull: IS NOT NULL
    std::vector<ExprPtr> args;  // Unary/IsNull: 1; Binary: 2; Call: the arguments
    std::size_t position = 0;   // byte offset in the source text
    int depth = 1;              // levels of the tree below and including this node

    static ExprPtr makeLiteral(Value v, std::size_t pos = 0);
    static ExprPtr makeField(std::string name, std::string alias = {}, std::size_t pos = 0);
    static ExprPtr makeUnary(ExprOp op, ExprPtr operand, std::size_t pos = 0);
    static ExprPtr makeBinary(ExprOp op, ExprPtr left, ExprPtr right, std::size_t pos = 0);
    // Appends an operand and updates depth.
    void addArg(ExprPtr arg);
};

bool isComparison(ExprOp op);

// A compact, stable rendering for logs and tests: (= tempidxxx 12), (call UPPER name), 'text'.
std::string describe(const Expr& e);
std::string describeValue(const Value& v);

}  // namespace dorvane::provider::sql
