// Splits statement and expression text into tokens. Quoted forms keep their quote character so the
// parser decides by position whether "..." or [...] is a name or a text literal.
// The lexer works on demand from any byte offset, so the parser can re-read a table path raw.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvane::provider::sql {

enum class TokenKind {
    End,
    Word,         // bare identifier or keyword: letters, digits, _ (and any non-ASCII byte)
    Quoted,       // "..." [...] `...` : text holds the content, quote the opening character
    String,       // '...' with '' standing for one quote
    Number,       // 12  3.5  .5  1e3 (no sign)
    DotWord,      // .T. .F. .Y. .N. .NULL. .AND. .OR. .NOT. : text holds the upper-case word
    DateLiteral,  // {^2024-01-31} {^2024-01-31 14:05:00} {} : text holds what is between the braces
    Symbol,       // operators and punctuation: ( ) , ; . * + - / % ^ ** = == <> != # < <= > >= ! $
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    char quote = 0;         // for Quoted
    std::size_t begin = 0;  // byte offsets in the source
    std::size_t end = 0;

    bool isSymbol(std::string_view s) const { return kind == TokenKind::Symbol && text == s; }
    // Case-insensitive keyword test on a bare word.
    bool isWord(std::string_view keyword) const;
};

// Reads the token that starts at or after `pos` (blanks skipped).
// Raises ProviderError(SyntaxError) for an unterminated quote or a character no token starts with.
Token lexToken(std::string_view source, std::size_t pos);

// Reads a table name or path at `pos`: a quoted form ('...', "...", [...], `...`) gives its content;
// otherwise the run of characters up to a blank or one of ( ) , ; = (so / \ . : ! stay in the name).
// Returns a token of kind End when nothing is there.
Token lexTableName(std::string_view source, std::size_t pos);

}  // namespace dorvane::provider::sql
