// The recursive-descent parser shared by parser.cpp (statements) and expression_parser.cpp.
// Internal to provider/sql; callers use parser.h.
#pragma once

#include <string>
#include <string_view>

#include "provider/sql/expr.h"
#include "provider/sql/lexer.h"
#include "provider/sql/statement.h"

namespace dorvane::provider::sql::detail {

class Parser {
public:
    explicit Parser(std::string_view source) : m_source(source) {}

    Statement statement();
    ExprPtr expression();
    // True when only blanks (and at most one ";") remain.
    bool atEnd();

    [[noreturn]] static void phraseError();
    [[noreturn]] static void syntaxError();

private:
    const Token& peek();
    void advance();
    bool acceptWord(std::string_view keyword);
    void expectWord(std::string_view keyword);
    bool acceptSymbol(std::string_view symbol);
    void expectSymbol(std::string_view symbol);

    // Expressions, lowest precedence first.
    ExprPtr orExpr();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr comparison();
    ExprPtr sqlPredicate(ExprPtr& left, std::size_t pos);
    ExprPtr additive();
    ExprPtr multiplicative();
    ExprPtr power();
    ExprPtr unary();
    ExprPtr primary();
    ExprPtr callArguments(std::string name, std::size_t pos);
    void enter();
    ExprPtr bounded(ExprPtr e);
    void leave() { --m_depth; }

    // Statements.
    SelectStatement select();
    UpdateStatement update();
    InsertStatement insert();
    DeleteStatement remove();
    Statement alter();
    CreateTableStatement create();
    DropTableStatement drop();
    TableRef tableName();
    std::string identifier();
    std::string newFieldName();
    FieldDef fieldDef(bool withRules = false);
    // Parses an expression and returns its text as written, without surrounding blanks.
    std::string expressionText();
    ExprPtr optionalWhere();

    std::string_view m_source;
    std::size_t m_pos = 0;  // end of the last consumed token
    Token m_token;
    bool m_haveToken = false;
    int m_depth = 0;
};

}  // namespace dorvane::provider::sql::detail
