// Statement half of the parser, and the public entry points.
#include "provider/sql/parser.h"

#include <charconv>

#include "provider/error.h"
#include "provider/sql/parser_core.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace detail {

void Parser::phraseError() {
    throw ProviderError::make(FoxError::UnrecognizedPhrase);
}
void Parser::syntaxError() {
    throw ProviderError::make(FoxError::SyntaxError);
}

const Token& Parser::peek() {
    if (!m_haveToken) {
        m_token = lexToken(m_source, m_pos);
        m_haveToken = true;
    }
    return m_token;
}

void Parser::advance() {
    m_pos = peek().end;
    m_haveToken = false;
}

bool Parser::acceptWord(std::string_view keyword) {
    if (!peek().isWord(keyword)) return false;
    advance();
    return true;
}

void Parser::expectWord(std::string_view keyword) {
    if (!acceptWord(keyword)) phraseError();
}

bool Parser::acceptSymbol(std::string_view symbol) {
    if (!peek().isSymbol(symbol)) return false;
    advance();
    return true;
}

void Parser::expectSymbol(std::string_view symbol) {
    if (!acceptSymbol(symbol)) phraseError();
}

bool Parser::atEnd() {
    acceptSymbol(";");
    return peek().kind == TokenKind::End;
}

Statement Parser::statement() {
    const Token& first = peek();
    Statement result;
    if (first.isWord("SELECT"))
        result = select();
    else if (first.isWord("UPDATE"))
        result = update();
    else if (first.isWord("INSERT"))
        result = insert();
    else if (first.isWord("DELETE"))
        result = remove();
    else if (first.isWord("ALTER"))
        result = alter();
    else if (first.isWord("CREATE"))
        result = create();
    else if (first.isWord("DROP"))
        result = drop();
    else
        phraseError();
    if (!atEnd()) phraseError();
    return result;
}

TableRef Parser::tableName() {
    if (m_haveToken) m_pos = m_token.begin;
    m_haveToken = false;
    const Token t = lexTableName(m_source, m_pos);
    if (t.kind == TokenKind::End || t.text.empty()) phraseError();
    m_pos = t.end;
    return TableRef{t.text, t.kind == TokenKind::Quoted};
}

std::string Parser::identifier() {
    const Token t = peek();
    if (t.kind != TokenKind::Word && t.kind != TokenKind::Quoted) phraseError();
    if (t.text.empty()) phraseError();
    advance();
    return t.text;
}

ExprPtr Parser::optionalWhere() {
    if (!acceptWord("WHERE")) return nullptr;
    return expression();
}

SelectStatement Parser::select() {
    advance();  // SELECT
    SelectStatement s;
    if (!acceptSymbol("*")) {
        do {
            SelectItem item;
            item.expr = expression();
            if (acceptWord("AS"))
                item.name = identifier();
            else if (item.expr->kind == ExprKind::Field)
                item.name = item.expr->name;
            s.items.push_back(std::move(item));
        } while (acceptSymbol(","));
    }
    expectWord("FROM");
    s.table = tableName();
    s.where = optionalWhere();
    if (acceptWord("ORDER")) {
        expectWord("BY");
        do {
            OrderItem item{expression(), false};
            if (acceptWord("DESC"))
                item.descending = true;
            else
                acceptWord("ASC");
            s.orderBy.push_back(std::move(item));
        } while (acceptSymbol(","));
    }
    return s;
}

UpdateStatement Parser::update() {
    advance();  // UPDATE
    UpdateStatement s;
    s.table = tableName();
    expectWord("SET");
    do {
        Assignment a;
        a.field = identifier();
        if (acceptSymbol(".")) a.field = identifier();  // alias.field
        expectSymbol("=");
        a.value = expression();
        s.assignments.push_back(std::move(a));
    } while (acceptSymbol(","));
    s.where = optionalWhere();
    return s;
}

InsertStatement Parser::insert() {
    advance();  // INSERT
    expectWord("INTO");
    InsertStatement s;
    s.table = tableName();
    if (acceptSymbol("(")) {
        do {
            s.columns.push_back(identifier());
        } while (acceptSymbol(","));
        expectSymbol(")");
    }
    expectWord("VALUES");
    expectSymbol("(");
    do {
        s.values.push_back(expression());
    } while (acceptSymbol(","));
    expectSymbol(")");
    if (!s.columns.empty() && s.columns.size() != s.values.size()) phraseError();
    return s;
}

DeleteStatement Parser::remove() {
    advance();  // DELETE
    expectWord("FROM");
    DeleteStatement s;
    s.table = tableName();
    s.where = optionalWhere();
    return s;
}

Statement Parser::alter() {
    advance();  // ALTER
    expectWord("TABLE");
    TableRef table = tableName();
    if (acceptWord("ADD")) {
        acceptWord("COLUMN");
        return AlterAddColumn{std::move(table), fieldDef()};
    }
    if (acceptWord("RENAME")) {
        acceptWord("COLUMN");
        AlterRenameColumn s{std::move(table), identifier(), {}};
        expectWord("TO");
        s.to = newFieldName();
        return s;
    }
    if (acceptWord("DROP")) {
        acceptWord("COLUMN");
        return AlterDropColumn{std::move(table), identifier()};
    }
    phraseError();
}

CreateTableStatement Parser::create() {
    advance();  // CREATE
    expectWord("TABLE");
    CreateTableStatement s;
    s.table = tableName();
    s.freeTable = acceptWord("FREE");
    expectSymbol("(");
    do {
        if (acceptWord("CHECK")) {  // the record rule: `, CHECK expr [ERROR message]`
            if (!s.check.empty()) phraseError();
            s.check = expressionText();
            if (acceptWord("ERROR")) s.checkMessage = expressionText();
            continue;
        }
        FieldDef f = fieldDef(true);
        for (const FieldDef& earlier : s.fields)
            if (equalsIgnoreCase(earlier.name, f.name)) throw ProviderError::make(FoxError::FieldNameInvalid);
        s.fields.push_back(std::move(f));
    } while (acceptSymbol(","));
    expectSymbol(")");
    return s;
}

std::string Parser::newFieldName() {
    std::string name = identifier();
    if (!isValidFieldName(name)) throw ProviderError::make(FoxError::FieldNameInvalid);
    return name;
}

DropTableStatement Parser::drop() {
    advance();  // DROP
    expectWord("TABLE");
    return DropTableStatement{tableName()};
}

std::string Parser::expressionText() {
    const std::size_t begin = peek().begin;
    expression();
    std::string_view text = m_source.substr(begin, m_pos - begin);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

FieldDef Parser::fieldDef(bool withRules) {
    std::string name = newFieldName();
    const Token type = peek();
    if (type.kind != TokenKind::Word) phraseError();
    advance();
    int sizes[2] = {-1, -1};
    if (acceptSymbol("(")) {
        for (int i = 0; i < 2; ++i) {
            const Token n = peek();
            if (n.kind != TokenKind::Number) throw ProviderError::make(FoxError::FieldWidthInvalid);
            const char* last = n.text.data() + n.text.size();
            auto [p, ec] = std::from_chars(n.text.data(), last, sizes[i]);
            if (ec != std::errc() || p != last) throw ProviderError::make(FoxError::FieldWidthInvalid);
            advance();
            if (i == 0 && !acceptSymbol(",")) break;
        }
        expectSymbol(")");
    }
    FieldDef f = fieldTypeFromName(type.text, sizes[0], sizes[1]);
    f.name = std::move(name);
    // NULL / NOT NULL, and in CREATE TABLE the rule and the default, in any order, each at most once.
    for (;;) {
        if (!f.nullable && acceptWord("NULL")) {
            f.nullable = true;
        } else if (!f.nullable && acceptWord("NOT")) {
            expectWord("NULL");
            f.nullable = false;
        } else if (withRules && f.check.empty() && acceptWord("CHECK")) {
            f.check = expressionText();
            if (acceptWord("ERROR")) f.checkMessage = expressionText();
        } else if (withRules && f.defaultValue.empty() && acceptWord("DEFAULT")) {
            f.defaultValue = expressionText();
        } else {
            return f;
        }
    }
}

}  // namespace detail

bool isValidFieldName(std::string_view name) {
    if (name.empty() || name.size() > kMaxFieldNameLength) return false;
    auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80;
    };
    if (!letter(name[0])) return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

Statement parseStatement(std::string_view text) {
    return detail::Parser(text).statement();
}

ExprPtr parseExpression(std::string_view text) {
    detail::Parser parser(text);
    ExprPtr e = parser.expression();
    if (!parser.atEnd()) detail::Parser::syntaxError();
    return e;
}

}  // namespace dorvane::provider::sql
