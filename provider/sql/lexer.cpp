#include "provider/sql/lexer.h"

#include <array>

#include "provider/error.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isWordStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isWordChar(char c) {
    return isWordStart(c) || isDigit(c);
}

std::size_t skipBlanks(std::string_view s, std::size_t pos) {
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    return pos;
}

[[noreturn]] void syntaxError() {
    throw ProviderError::make(FoxError::SyntaxError);
}

// Reads a quoted run starting at the opening character; a doubled closing quote stands for one
// when `doubling` is set (SQL strings and "..." names), never inside [...].
Token lexQuoted(std::string_view s, std::size_t pos, TokenKind kind) {
    const char open = s[pos];
    const char close = open == '[' ? ']' : open;
    const bool doubling = open != '[';
    Token t;
    t.kind = kind;
    t.quote = open;
    t.begin = pos;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] != close) {
            t.text.push_back(s[i]);
            continue;
        }
        if (doubling && i + 1 < s.size() && s[i + 1] == close) {
            t.text.push_back(close);
            ++i;
            continue;
        }
        t.end = i + 1;
        return t;
    }
    syntaxError();
}

// .T. .F. .Y. .N. .NULL. .AND. .OR. .NOT. starting at the dot, or End when the text is not one.
Token lexDotWord(std::string_view s, std::size_t pos) {
    static constexpr std::array<std::string_view, 8> kWords = {"T",    "F",   "Y",  "N",
                                                               "NULL", "AND", "OR", "NOT"};
    std::size_t i = pos + 1;
    while (i < s.size() && isWordChar(s[i])) ++i;
    if (i >= s.size() || s[i] != '.') return {};
    const std::string_view word = s.substr(pos + 1, i - pos - 1);
    for (std::string_view k : kWords) {
        if (equalsIgnoreCase(word, k)) {
            Token t;
            t.kind = TokenKind::DotWord;
            t.text = std::string(k);
            t.begin = pos;
            t.end = i + 1;
            return t;
        }
    }
    return {};
}

Token lexNumber(std::string_view s, std::size_t pos) {
    std::size_t i = pos;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i < s.size() && s[i] == '.' && lexDotWord(s, i).kind == TokenKind::End) {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && isDigit(s[j])) {
            i = j;
            while (i < s.size() && isDigit(s[i])) ++i;
        }
    }
    if (i < s.size() && isWordStart(s[i])) syntaxError();  // 12abc
    Token t;
    t.kind = TokenKind::Number;
    t.text = std::string(s.substr(pos, i - pos));
    t.begin = pos;
    t.end = i;
    return t;
}

}  // namespace

bool Token::isWord(std::string_view keyword) const {
    return kind == TokenKind::Word && equalsIgnoreCase(text, keyword);
}

Token lexToken(std::string_view s, std::size_t pos) {
    pos = skipBlanks(s, pos);
    Token t;
    t.begin = t.end = pos;
    if (pos >= s.size()) return t;
    const char c = s[pos];
    if (isWordStart(c)) {
        std::size_t i = pos;
        while (i < s.size() && isWordChar(s[i])) ++i;
        t.kind = TokenKind::Word;
        t.text = std::string(s.substr(pos, i - pos));
        t.end = i;
        return t;
    }
    if (isDigit(c)) return lexNumber(s, pos);
    if (c == '.') {
        Token dot = lexDotWord(s, pos);
        if (dot.kind != TokenKind::End) return dot;
        if (pos + 1 < s.size() && isDigit(s[pos + 1])) return lexNumber(s, pos);
    }
    if (c == '\'') return lexQuoted(s, pos, TokenKind::String);
    if (c == '"' || c == '[' || c == '`') return lexQuoted(s, pos, TokenKind::Quoted);
    if (c == '{') {
        const std::size_t close = s.find('}', pos);
        if (close == std::string_view::npos) syntaxError();
        t.kind = TokenKind::DateLiteral;
        t.text = std::string(s.substr(pos + 1, close - pos - 1));
        t.end = close + 1;
        return t;
    }
    static constexpr std::array<std::string_view, 6> kTwoChar = {"==", "<>", "!=", "<=", ">=", "**"};
    t.kind = TokenKind::Symbol;
    // FoxPro also reads "=>" and "=<" as ">=" and "<=" (field rules and FOR clauses use them).
    if (s.substr(pos, 2) == "=>" || s.substr(pos, 2) == "=<") {
        t.text = s[pos + 1] == '>' ? ">=" : "<=";
        t.end = pos + 2;
        return t;
    }
    for (std::string_view op : kTwoChar) {
        if (s.substr(pos, 2) == op) {
            t.text = std::string(op);
            t.end = pos + 2;
            return t;
        }
    }
    static constexpr std::string_view kOneChar = "(),;.*+-/%^=#<>!$";
    if (kOneChar.find(c) == std::string_view::npos) syntaxError();
    t.text = std::string(1, c);
    t.end = pos + 1;
    return t;
}

Token lexTableName(std::string_view s, std::size_t pos) {
    pos = skipBlanks(s, pos);
    Token t;
    t.begin = t.end = pos;
    if (pos >= s.size()) return t;
    const char c = s[pos];
    if (c == '\'' || c == '"' || c == '[' || c == '`') return lexQuoted(s, pos, TokenKind::Quoted);
    static constexpr std::string_view kStops = "(),;='\"`[";
    std::size_t i = pos;
    while (i < s.size() && !isBlank(s[i]) && kStops.find(s[i]) == std::string_view::npos) ++i;
    if (i == pos) return t;
    t.kind = TokenKind::Word;
    t.text = std::string(s.substr(pos, i - pos));
    t.end = i;
    return t;
}

}  // namespace dorvane::provider::sql
