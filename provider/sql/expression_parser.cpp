// Expression half of the parser: FoxPro operators by precedence, literals, fields, calls.
#include <charconv>
#include <limits>

#include "provider/error.h"
#include "provider/sql/parser.h"
#include "provider/sql/parser_core.h"
#include "provider/sql/text_utils.h"
#include "provider/sql/value_text.h"

namespace dorvane::provider::sql::detail {

namespace {

Value numberValue(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (text.find_first_of(".eE") == std::string::npos) {
        std::int64_t n = 0;
        auto [p, ec] = std::from_chars(first, last, n);
        if (ec == std::errc() && p == last) return n;
    }
    double d = 0;
    auto [p, ec] = std::from_chars(first, last, d);
    if (ec != std::errc() || p != last) Parser::syntaxError();
    return d;
}

// {^2024-01-31}, {^2024-01-31 14:05:00}, and the empty forms {}, {/}, {:}, {  /  /    }.
Value dateLiteral(std::string_view text) {
    std::string_view body = trimWhitespace(text);
    if (!body.empty() && body.front() == '^') body = trimWhitespace(body.substr(1));
    if (body.find_first_not_of(" /:.-") == std::string_view::npos)
        return body.find(':') == std::string_view::npos ? Value(Date{}) : Value(DateTime{});
    if (body.find(':') == std::string_view::npos) {
        if (auto d = parseDateText(body)) return *d;
    } else if (auto t = parseDateTimeText(body)) {
        return *t;
    }
    Parser::syntaxError();
}

ExprOp comparisonOp(const Token& t) {
    if (t.kind != TokenKind::Symbol) return ExprOp::None;
    if (t.text == "=") return ExprOp::Equal;
    if (t.text == "==") return ExprOp::ExactEqual;
    if (t.text == "<>" || t.text == "!=" || t.text == "#") return ExprOp::NotEqual;
    if (t.text == "<") return ExprOp::Less;
    if (t.text == "<=") return ExprOp::LessEqual;
    if (t.text == ">") return ExprOp::Greater;
    if (t.text == ">=") return ExprOp::GreaterEqual;
    if (t.text == "$") return ExprOp::Contains;
    return ExprOp::None;
}

}  // namespace

ExprPtr Parser::bounded(ExprPtr e) {
    if (e->depth > kMaxExprDepth) syntaxError();
    return e;
}

void Parser::enter() {
    if (++m_depth > kMaxNesting) syntaxError();
}

ExprPtr Parser::expression() {
    enter();
    ExprPtr e = orExpr();
    leave();
    return e;
}

ExprPtr Parser::orExpr() {
    ExprPtr left = andExpr();
    for (;;) {
        const Token& t = peek();
        if (!(t.isWord("OR") || (t.kind == TokenKind::DotWord && t.text == "OR"))) return left;
        const std::size_t pos = t.begin;
        advance();
        left = bounded(Expr::makeBinary(ExprOp::Or, std::move(left), andExpr(), pos));
    }
}

ExprPtr Parser::andExpr() {
    ExprPtr left = notExpr();
    for (;;) {
        const Token& t = peek();
        if (!(t.isWord("AND") || (t.kind == TokenKind::DotWord && t.text == "AND"))) return left;
        const std::size_t pos = t.begin;
        advance();
        left = bounded(Expr::makeBinary(ExprOp::And, std::move(left), notExpr(), pos));
    }
}

ExprPtr Parser::notExpr() {
    const Token& t = peek();
    if (t.isWord("NOT") || t.isSymbol("!") || (t.kind == TokenKind::DotWord && t.text == "NOT")) {
        const std::size_t pos = t.begin;
        advance();
        enter();
        ExprPtr operand = notExpr();
        leave();
        return bounded(Expr::makeUnary(ExprOp::Not, std::move(operand), pos));
    }
    return comparison();
}

ExprPtr Parser::comparison() {
    ExprPtr left = additive();
    for (;;) {
        const Token& t = peek();
        const std::size_t pos = t.begin;
        if (t.isWord("IS")) {
            advance();
            const bool negated = acceptWord("NOT");
            if (!acceptWord("NULL")) {
                if (peek().kind == TokenKind::DotWord && peek().text == "NULL")
                    advance();
                else
                    syntaxError();
            }
            auto e = std::make_unique<Expr>();
            e->kind = ExprKind::IsNull;
            e->negated = negated;
            e->position = pos;
            e->addArg(std::move(left));
            left = bounded(std::move(e));
            continue;
        }
        if (ExprPtr sql = sqlPredicate(left, pos)) {
            left = std::move(sql);
            continue;
        }
        const ExprOp op = comparisonOp(peek());
        if (op == ExprOp::None) return left;
        advance();
        left = bounded(Expr::makeBinary(op, std::move(left), additive(), pos));
    }
}

// SQL's x [NOT] IN (a, b, ...), x [NOT] BETWEEN a AND b, x [NOT] LIKE pattern; null when none follows
// (then `left` is untouched).
ExprPtr Parser::sqlPredicate(ExprPtr& left, std::size_t pos) {
    bool negated = false;
    if (peek().isWord("NOT")) {
        const Token next = lexToken(m_source, peek().end);
        if (!next.isWord("IN") && !next.isWord("BETWEEN") && !next.isWord("LIKE")) return nullptr;
        advance();
        negated = true;
    }
    ExprPtr result;
    if (acceptWord("IN")) {
        if (!acceptSymbol("(")) syntaxError();
        auto call = std::make_unique<Expr>();
        call->kind = ExprKind::Call;
        call->name = "INLIST";
        call->position = pos;
        call->addArg(std::move(left));
        do {
            call->addArg(expression());
        } while (acceptSymbol(","));
        if (!acceptSymbol(")")) syntaxError();
        result = std::move(call);
    } else if (acceptWord("BETWEEN")) {
        auto call = std::make_unique<Expr>();
        call->kind = ExprKind::Call;
        call->name = "BETWEEN";
        call->position = pos;
        call->addArg(std::move(left));
        call->addArg(additive());
        if (!acceptWord("AND")) {
            if (peek().kind != TokenKind::DotWord || peek().text != "AND") syntaxError();
            advance();
        }
        call->addArg(additive());
        result = std::move(call);
    } else if (acceptWord("LIKE")) {
        result = Expr::makeBinary(ExprOp::Like, std::move(left), additive(), pos);
    } else {
        return nullptr;
    }
    result = bounded(std::move(result));
    if (negated) result = bounded(Expr::makeUnary(ExprOp::Not, std::move(result), pos));
    return result;
}

ExprPtr Parser::additive() {
    ExprPtr left = multiplicative();
    for (;;) {
        const Token& t = peek();
        const ExprOp op = t.isSymbol("+") ? ExprOp::Add : t.isSymbol("-") ? ExprOp::Subtract : ExprOp::None;
        if (op == ExprOp::None) return left;
        const std::size_t pos = t.begin;
        advance();
        left = bounded(Expr::makeBinary(op, std::move(left), multiplicative(), pos));
    }
}

ExprPtr Parser::multiplicative() {
    ExprPtr left = power();
    for (;;) {
        const Token& t = peek();
        const ExprOp op = t.isSymbol("*")   ? ExprOp::Multiply
                          : t.isSymbol("/") ? ExprOp::Divide
                          : t.isSymbol("%") ? ExprOp::Modulo
                                            : ExprOp::None;
        if (op == ExprOp::None) return left;
        const std::size_t pos = t.begin;
        advance();
        left = bounded(Expr::makeBinary(op, std::move(left), power(), pos));
    }
}

ExprPtr Parser::power() {
    ExprPtr left = unary();
    for (;;) {
        const Token& t = peek();
        if (!t.isSymbol("^") && !t.isSymbol("**")) return left;
        const std::size_t pos = t.begin;
        advance();
        left = bounded(Expr::makeBinary(ExprOp::Power, std::move(left), unary(), pos));
    }
}

ExprPtr Parser::unary() {
    const Token& t = peek();
    if (t.isSymbol("-") || t.isSymbol("+")) {
        const bool minus = t.text == "-";
        const std::size_t pos = t.begin;
        advance();
        enter();
        ExprPtr operand = unary();
        leave();
        if (!minus) return operand;
        if (operand->kind == ExprKind::Literal) {  // fold -12 and -3.5 into the literal
            if (auto* i = std::get_if<std::int64_t>(&operand->literal)) {
                if (*i != std::numeric_limits<std::int64_t>::min()) {
                    *i = -*i;
                    return operand;
                }
            } else if (auto* d = std::get_if<double>(&operand->literal)) {
                *d = -*d;
                return operand;
            }
        }
        return bounded(Expr::makeUnary(ExprOp::Negate, std::move(operand), pos));
    }
    return primary();
}

ExprPtr Parser::primary() {
    const Token t = peek();
    switch (t.kind) {
        case TokenKind::Number:
            advance();
            return Expr::makeLiteral(numberValue(t.text), t.begin);
        case TokenKind::String:
            advance();
            return Expr::makeLiteral(t.text, t.begin);
        case TokenKind::Quoted:  // FoxPro's "..." and [...] texts; `...` names a field
            advance();
            if (t.quote == '`') return Expr::makeField(t.text, {}, t.begin);
            return Expr::makeLiteral(t.text, t.begin);
        case TokenKind::DateLiteral:
            advance();
            return Expr::makeLiteral(dateLiteral(t.text), t.begin);
        case TokenKind::DotWord:
            advance();
            if (t.text == "T" || t.text == "Y") return Expr::makeLiteral(true, t.begin);
            if (t.text == "F" || t.text == "N") return Expr::makeLiteral(false, t.begin);
            if (t.text == "NULL") return Expr::makeLiteral(Value{}, t.begin);
            syntaxError();
        case TokenKind::Word: {
            advance();
            if (peek().isSymbol("(")) return callArguments(toUpperText(t.text), t.begin);
            if (equalsIgnoreCase(t.text, "NULL")) return Expr::makeLiteral(Value{}, t.begin);
            if (peek().isSymbol(".")) {  // alias.field
                advance();
                const Token field = peek();
                if (field.kind != TokenKind::Word && !(field.kind == TokenKind::Quoted && field.quote == '`'))
                    syntaxError();
                advance();
                return Expr::makeField(field.text, t.text, t.begin);
            }
            return Expr::makeField(t.text, {}, t.begin);
        }
        case TokenKind::Symbol:
            if (t.text == "(") {
                advance();
                ExprPtr inner = expression();
                if (!acceptSymbol(")")) syntaxError();
                return inner;
            }
            syntaxError();
        case TokenKind::End:
            syntaxError();
    }
    syntaxError();
}

ExprPtr Parser::callArguments(std::string name, std::size_t pos) {
    advance();  // "("
    auto call = std::make_unique<Expr>();
    call->kind = ExprKind::Call;
    call->name = std::move(name);
    call->position = pos;
    if (acceptSymbol(")")) return call;
    do {
        call->addArg(expression());
    } while (acceptSymbol(","));
    if (!acceptSymbol(")")) syntaxError();
    return bounded(std::move(call));
}

}  // namespace dorvane::provider::sql::detail
