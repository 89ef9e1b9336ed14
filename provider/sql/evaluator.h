// Compiling a FoxPro expression against a table's fields and running it per record. Used for SQL
// WHERE/SET/VALUES and for index key and FOR expressions. Functions supported: see functions.cpp.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "provider/sql/expr.h"
#include "provider/sql/row_context.h"

namespace dorvane::provider::sql {

namespace detail {
class Node;
}

// The static type of an expression's result where it can be known before running it: FoxPro's type
// letter ('C' text, 'N' number, 'I' integer, 'Y', 'D', 'T', 'L', 'M' memo, 'W' blob...), or 'U' when the
// type depends on the data (a null literal, IIF with branches of different types). `width` is what an
// index key of the expression takes: the number of characters for 'C' (a C(n) field n, STR(x) 10,
// DTOS() 8, a + b the sum), 4 for 'I', 1 for 'L', 8 for the other numbers, dates and datetimes.
struct ExprType {
    char type = 'U';
    int width = 0;
    int decimals = 0;
};

class CompiledExpr {
public:
    CompiledExpr();
    ~CompiledExpr();
    CompiledExpr(CompiledExpr&&) noexcept;
    CompiledExpr& operator=(CompiledExpr&&) noexcept;

    // The expression's value for the current record of `row`. Raises ProviderError as FoxPro does
    // (DataTypeMismatch, NumericOverflow for a division by zero, ...).
    Value evaluate(const RowContext& row) const;
    // WHERE / FOR semantics: true only for .T.; .F. and null give false; any other type raises
    // ProviderError(DataTypeMismatch).
    bool matches(const RowContext& row) const;

    const ExprType& resultType() const;
    // Indexes of the fields the expression reads, ascending, each once.
    const std::vector<int>& fieldsUsed() const { return m_fields; }

private:
    friend CompiledExpr compileExpression(const Expr&, const FieldCatalog&, EvalOptions);
    std::unique_ptr<detail::Node> m_root;
    EvalOptions m_options;
    std::vector<int> m_fields;
};

// Resolves field names against `fields` (an unknown name raises ProviderError(VariableNotFound, name),
// an alias other than the catalog's likewise with "alias.name") and functions (an unknown one raises
// FileDoesNotExist "name.prg", as FoxPro looks for a program of that name; a wrong argument count
// raises SyntaxError). Constant sub-expressions are computed once here.
CompiledExpr compileExpression(const Expr& expr, const FieldCatalog& fields, EvalOptions options = {});
// Parses `text` (parseExpression) and compiles it.
CompiledExpr compileExpression(std::string_view text, const FieldCatalog& fields, EvalOptions options = {});

// The value of an expression that reads no table (INSERT ... VALUES): a field name raises
// ProviderError(VariableNotFound); RECNO() gives 0 and DELETED() .F.
Value evaluateConstant(const Expr& expr, const EvalOptions& options = {});

}  // namespace dorvane::provider::sql
