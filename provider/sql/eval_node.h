// The compiled form of an expression: a tree of nodes with field names resolved to indexes.
// Internal to provider/sql (evaluator.cpp builds it, functions.cpp supplies the function nodes).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "provider/sql/evaluator.h"
#include "provider/sql/expr.h"

namespace dorvane::provider::sql::detail {

struct Scope {
    const RowContext& row;
    const EvalOptions& options;
};

class Node {
public:
    virtual ~Node() = default;
    virtual Value eval(const Scope& scope) const = 0;
    // The value when the node is a constant, else null.
    virtual const Value* constant() const { return nullptr; }
    // True when the value changes without any field changing (RECNO(), DELETED(), DATE()).
    virtual bool isVolatile() const { return false; }

    ExprType type;
};

using NodePtr = std::unique_ptr<Node>;

// Builds the node for a call of `name` with compiled arguments; raises FileDoesNotExist ("name.prg",
// FoxPro's answer to an unknown function) or SyntaxError for a wrong argument count.
NodePtr makeCallNode(const std::string& name, std::vector<NodePtr> args);

}  // namespace dorvane::provider::sql::detail
