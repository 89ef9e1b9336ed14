// FoxPro's built-in functions for the expression evaluator. Supported: RECNO DELETED IIF EMPTY ISNULL
// NVL UPPER LOWER ALLTRIM LTRIM RTRIM TRIM LEN LEFT RIGHT SUBSTR AT PADL PADR PADC SPACE REPLICATE STR VAL
// INT ABS ROUND MOD CEILING FLOOR SIGN SQRT MAX MIN BETWEEN INLIST DTOS DTOC TTOC CTOD DATE DATETIME TTOD
// DTOT YEAR MONTH DAY BINTOC STRTRAN.
// Names may be shortened to four letters or more, as FoxPro allows (SUBS, ALLT).
#include <algorithm>
#include <cmath>

#include "provider/error.h"
#include "provider/sql/eval_node.h"
#include "provider/sql/function_helpers.h"
#include "provider/sql/text_utils.h"
#include "provider/sql/value_ops.h"
#include "provider/sql/value_text.h"

namespace dorvane::provider::sql::detail {

namespace {

using Args = std::vector<Value>;

// ---- result types -----------------------------------------------------------------------------

using Nodes = std::vector<NodePtr>;

int constInt(const Nodes& a, std::size_t i, int fallback) {
    if (i >= a.size()) return fallback;
    const Value* c = a[i]->constant();
    if (!c) return 0;
    const auto n = numericValue(*c);
    return n && *n >= 0 && *n <= kMaxStringLength ? static_cast<int>(*n) : 0;
}

ExprType textOfArg0(const Nodes& a) {
    return {'C', a[0]->type.width, 0};
}
ExprType logical(const Nodes&) {
    return {'L', 1, 0};
}
ExprType numeric(const Nodes&) {
    return {'N', 8, 0};
}
ExprType date(const Nodes&) {
    return {'D', 8, 0};
}
ExprType datetime(const Nodes&) {
    return {'T', 8, 0};
}
ExprType firstArg(const Nodes& a) {
    return a[0]->type;
}
ExprType strType(const Nodes& a) {
    return {'C', constInt(a, 1, 10), 0};
}
ExprType padType(const Nodes& a) {
    return {'C', constInt(a, 1, 0), 0};
}
ExprType substrType(const Nodes& a) {
    if (a.size() > 2) return {'C', constInt(a, 2, 0), 0};
    return {'C', std::max(0, a[0]->type.width - constInt(a, 1, 1) + 1), 0};
}
ExprType dtocType(const Nodes& a) {
    return {'C', a.size() > 1 ? 8 : 10, 0};
}
ExprType ttocType(const Nodes& a) {
    const int style = constInt(a, 1, 0);
    return {'C', style == 1 ? 14 : style == 3 ? 19 : 22, 0};
}
ExprType bintocType(const Nodes& a) {
    return {'C', constInt(a, 1, 4), 0};
}
ExprType spaceType(const Nodes& a) {
    return {'C', constInt(a, 0, 0), 0};
}
ExprType iifType(const Nodes& a) {
    const ExprType &x = a[1]->type, &y = a[2]->type;
    if (x.type != y.type) return x.type == 'U' ? y : y.type == 'U' ? x : ExprType{};
    return {x.type, std::max(x.width, y.width), std::max(x.decimals, y.decimals)};
}

// ---- the table ---------------------------------------------------------------------------------

struct Function {
    std::string_view name;
    int minArgs;
    int maxArgs;     // -1: any number
    bool nullAware;  // receives nulls; otherwise any null argument gives null
    Value (*call)(const Args&, const Scope&);
    ExprType (*typer)(const Nodes&);
};

const Function kFunctions[] = {
    {"EMPTY", 1, 1, true, [](const Args& a, const Scope&) -> Value { return isEmptyValue(a[0]); }, logical},
    {"ISNULL", 1, 1, true, [](const Args& a, const Scope&) -> Value { return isNull(a[0]); }, logical},
    {"NVL", 2, 2, true, [](const Args& a, const Scope&) -> Value { return isNull(a[0]) ? a[1] : a[0]; },
     firstArg},
    {"UPPER", 1, 1, false, [](const Args& a, const Scope&) -> Value { return toUpperText(text(a[0])); },
     textOfArg0},
    {"LOWER", 1, 1, false, [](const Args& a, const Scope&) -> Value { return toLowerText(text(a[0])); },
     textOfArg0},
    {"ALLTRIM", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         return std::string(trimLeftBlanks(trimRightBlanks(text(a[0]))));
     },
     textOfArg0},
    {"LTRIM", 1, 1, false,
     [](const Args& a, const Scope&) -> Value { return std::string(trimLeftBlanks(text(a[0]))); },
     textOfArg0},
    {"RTRIM", 1, 1, false,
     [](const Args& a, const Scope&) -> Value { return std::string(trimRightBlanks(text(a[0]))); },
     textOfArg0},
    {"TRIM", 1, 1, false,
     [](const Args& a, const Scope&) -> Value { return std::string(trimRightBlanks(text(a[0]))); },
     textOfArg0},
    {"LEN", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         if (const auto* b = std::get_if<Blob>(&a[0])) return static_cast<std::int64_t>(b->bytes.size());
         return static_cast<std::int64_t>(charCount(text(a[0])));
     },
     numeric},
    {"LEFT", 2, 2, false,
     [](const Args& a, const Scope&) -> Value { return std::string(charSlice(text(a[0]), 0, count(a[1]))); },
     padType},
    {"RIGHT", 2, 2, false,
     [](const Args& a, const Scope&) -> Value {
         const std::string& s = text(a[0]);
         const std::size_t n = charCount(s), keep = std::min(n, count(a[1]));
         return std::string(charSlice(s, n - keep, keep));
     },
     padType},
    {"SUBSTR", 2, 3, false,
     [](const Args& a, const Scope&) -> Value {
         const std::int64_t start = whole(a[1]);
         if (start < 1) return std::string();
         const std::size_t len = a.size() > 2 ? count(a[2]) : std::string::npos;
         return std::string(charSlice(text(a[0]), static_cast<std::size_t>(start - 1), len));
     },
     substrType},
    {"AT", 2, 3, false,
     [](const Args& a, const Scope&) -> Value {
         const std::string &needle = text(a[0]), &hay = text(a[1]);
         std::int64_t occurrence = a.size() > 2 ? whole(a[2]) : 1;
         if (needle.empty() || occurrence < 1) return std::int64_t{0};
         for (std::size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1))
             if (--occurrence == 0)
                 return static_cast<std::int64_t>(charCount(std::string_view(hay).substr(0, pos)) + 1);
         return std::int64_t{0};
     },
     numeric},
    {"PADL", 2, 3, false,
     [](const Args& a, const Scope&) -> Value {
         return padded(displayText(a[0]), count(a[1]), a.size() > 2 ? &a[2] : nullptr, 'L');
     },
     padType},
    {"PADR", 2, 3, false,
     [](const Args& a, const Scope&) -> Value {
         return padded(displayText(a[0]), count(a[1]), a.size() > 2 ? &a[2] : nullptr, 'R');
     },
     padType},
    {"PADC", 2, 3, false,
     [](const Args& a, const Scope&) -> Value {
         return padded(displayText(a[0]), count(a[1]), a.size() > 2 ? &a[2] : nullptr, 'C');
     },
     padType},
    {"SPACE", 1, 1, false, [](const Args& a, const Scope&) -> Value { return std::string(count(a[0]), ' '); },
     spaceType},
    {"REPLICATE", 2, 2, false,
     [](const Args& a, const Scope&) -> Value {
         const std::string& s = text(a[0]);
         const std::size_t n = count(a[1]);
         if (!s.empty() && n > static_cast<std::size_t>(kMaxStringLength) / s.size())
             throw ProviderError::make(FoxError::StringTooLong);
         std::string out;
         out.reserve(s.size() * n);
         for (std::size_t i = 0; i < n; ++i) out += s;
         return out;
     },
     [](const Nodes&) {
         return ExprType{'C', 0, 0};
     }},
    {"STR", 1, 3, false,
     [](const Args& a, const Scope&) -> Value {
         return strOf(number(a[0]), a.size() > 1 ? whole(a[1]) : 10, a.size() > 2 ? whole(a[2]) : 0);
     },
     strType},
    {"VAL", 1, 1, false, [](const Args& a, const Scope&) -> Value { return valOf(text(a[0])); }, numeric},
    {"INT", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         if (std::holds_alternative<std::int64_t>(a[0])) return a[0];
         return std::trunc(number(a[0]));
     },
     numeric},
    {"ABS", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         if (const auto* i = std::get_if<std::int64_t>(&a[0])) return *i < 0 ? applyNegate(a[0]) : a[0];
         if (const auto* c = std::get_if<Currency>(&a[0]))
             return Currency{c->scaled < 0 ? -c->scaled : c->scaled};
         return std::fabs(number(a[0]));
     },
     firstArg},
    {"ROUND", 2, 2, false,
     [](const Args& a, const Scope&) -> Value {
         const std::int64_t places = whole(a[1]);
         if (std::holds_alternative<std::int64_t>(a[0]) && places >= 0) return a[0];
         return roundDecimal(number(a[0]), static_cast<int>(std::clamp<std::int64_t>(places, -300, 18)));
     },
     numeric},
    {"MAX", 2, -1, false,
     [](const Args& a, const Scope& s) -> Value {
         std::size_t best = 0;
         for (std::size_t i = 1; i < a.size(); ++i)
             if (*compareValues(a[i], a[best], TextCompareMode::Padded, s.options) > 0) best = i;
         return a[best];
     },
     firstArg},
    {"MIN", 2, -1, false,
     [](const Args& a, const Scope& s) -> Value {
         std::size_t best = 0;
         for (std::size_t i = 1; i < a.size(); ++i)
             if (*compareValues(a[i], a[best], TextCompareMode::Padded, s.options) < 0) best = i;
         return a[best];
     },
     firstArg},
    {"BETWEEN", 3, 3, false,
     [](const Args& a, const Scope& s) -> Value {
         const TextCompareMode mode = comparisonMode(s.options);
         return *compareValues(a[0], a[1], mode, s.options) >= 0 &&
                *compareValues(a[0], a[2], mode, s.options) <= 0;
     },
     logical},
    {"INLIST", 2, -1, true,
     [](const Args& a, const Scope& s) -> Value {
         if (isNull(a[0])) return Value{};
         bool sawNull = false;
         for (std::size_t i = 1; i < a.size(); ++i) {
             const auto c = compareValues(a[0], a[i], comparisonMode(s.options), s.options);
             if (!c)
                 sawNull = true;
             else if (*c == 0)
                 return true;
         }
         return sawNull ? Value{} : Value{false};
     },
     logical},
    {"DTOS", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         const std::int32_t jd = moment(a[0]).first;
         return jd == 0 ? std::string(8, ' ') : civil(jd, "Y");
     },
     [](const Nodes&) {
         return ExprType{'C', 8, 0};
     }},
    {"DTOC", 1, 2, false,
     [](const Args& a, const Scope&) -> Value {
         const std::int32_t jd = moment(a[0]).first;
         const bool sortable = a.size() > 1 && whole(a[1]) == 1;
         if (jd == 0) return sortable ? std::string(8, ' ') : std::string("  /  /    ");
         return civil(jd, sortable ? "Y" : "M");
     },
     dtocType},
    {"TTOC", 1, 2, false,
     [](const Args& a, const Scope&) -> Value { return ttoc(a[0], a.size() > 1 ? whole(a[1]) : 0); },
     ttocType},
    {"CTOD", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         std::string_view t = trimWhitespace(text(a[0]));
         if (!t.empty() && t.front() == '^') t.remove_prefix(1);
         if (auto d = parseDateText(t)) return *d;
         return Date{};
     },
     date},
    {"DATE", 0, 3, false,
     [](const Args& a, const Scope&) -> Value {
         if (a.size() == 3) return makeDateValue(whole(a[0]), whole(a[1]), whole(a[2]));
         if (!a.empty()) throw ProviderError::make(FoxError::SyntaxError);
         const std::tm t = localNow();
         return Date{julianDayFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday)};
     },
     date},
    {"DATETIME", 0, 6, false,
     [](const Args& a, const Scope&) -> Value {
         if (a.empty()) {
             const std::tm t = localNow();
             return DateTime{julianDayFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
                             ((t.tm_hour * 60 + t.tm_min) * 60 + std::min(t.tm_sec, 59)) * 1000};
         }
         if (a.size() < 3) throw ProviderError::make(FoxError::SyntaxError);
         const Date d = std::get<Date>(makeDateValue(whole(a[0]), whole(a[1]), whole(a[2])));
         const std::int64_t h = a.size() > 3 ? whole(a[3]) : 0, mi = a.size() > 4 ? whole(a[4]) : 0,
                            s = a.size() > 5 ? whole(a[5]) : 0;
         if (h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) mismatch();
         return DateTime{d.julianDay, static_cast<std::int32_t>(((h * 60 + mi) * 60 + s) * 1000)};
     },
     datetime},
    {"TTOD", 1, 1, false, [](const Args& a, const Scope&) -> Value { return Date{moment(a[0]).first}; },
     date},
    {"DTOT", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         return DateTime{moment(a[0]).first, 0};
     },
     datetime},
    {"YEAR", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         const std::int32_t jd = moment(a[0]).first;
         if (jd == 0) return std::int64_t{0};
         int y, m, d;
         civilFromJulianDay(jd, y, m, d);
         return std::int64_t{y};
     },
     numeric},
    {"MONTH", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         const std::int32_t jd = moment(a[0]).first;
         if (jd == 0) return std::int64_t{0};
         int y, m, d;
         civilFromJulianDay(jd, y, m, d);
         return std::int64_t{m};
     },
     numeric},
    {"DAY", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         const std::int32_t jd = moment(a[0]).first;
         if (jd == 0) return std::int64_t{0};
         int y, m, d;
         civilFromJulianDay(jd, y, m, d);
         return std::int64_t{d};
     },
     numeric},
    {"BINTOC", 1, 2, false,
     [](const Args& a, const Scope&) -> Value { return bintoc(whole(a[0]), a.size() > 1 ? whole(a[1]) : 4); },
     bintocType},
    {"MOD", 2, 2, false,
     [](const Args& a, const Scope&) -> Value {
         number(a[0]);
         number(a[1]);
         return applyArithmetic(ExprOp::Modulo, a[0], a[1]);
     },
     numeric},
    {"CEILING", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         if (std::holds_alternative<std::int64_t>(a[0])) return a[0];
         return std::ceil(number(a[0]));
     },
     numeric},
    {"FLOOR", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         if (std::holds_alternative<std::int64_t>(a[0])) return a[0];
         return std::floor(number(a[0]));
     },
     numeric},
    {"SIGN", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         const double n = number(a[0]);
         return std::int64_t{n > 0 ? 1 : n < 0 ? -1 : 0};
     },
     numeric},
    {"SQRT", 1, 1, false,
     [](const Args& a, const Scope&) -> Value {
         const double n = number(a[0]);
         if (n < 0) mismatch();
         return std::sqrt(n);
     },
     numeric},
    {"STRTRAN", 2, 3, false,
     [](const Args& a, const Scope&) -> Value {
         const std::string &s = text(a[0]), &find = text(a[1]);
         const std::string replacement = a.size() > 2 ? text(a[2]) : std::string();
         if (find.empty()) return s;
         std::string out;
         std::size_t from = 0;
         for (std::size_t at = s.find(find); at != std::string::npos; at = s.find(find, from)) {
             out.append(s, from, at - from);
             out += replacement;
             if (out.size() > static_cast<std::size_t>(kMaxStringLength))
                 throw ProviderError::make(FoxError::StringTooLong);
             from = at + find.size();
         }
         out.append(s, from, std::string::npos);
         return out;
     },
     [](const Nodes&) {
         return ExprType{'C', 0, 0};
     }},
};

class CallNode : public Node {
public:
    CallNode(const Function& f, Nodes args) : m_function(f), m_args(std::move(args)) {
        type = f.typer(m_args);
    }
    Value eval(const Scope& s) const override {
        Args values;
        values.reserve(m_args.size());
        for (const auto& a : m_args) {
            values.push_back(a->eval(s));
            if (!m_function.nullAware && isNull(values.back())) return Value{};
        }
        return m_function.call(values, s);
    }
    bool isVolatile() const override { return m_function.name == "DATE" || m_function.name == "DATETIME"; }

private:
    const Function& m_function;
    Nodes m_args;
};

// IIF evaluates only the branch it takes; a null condition takes the second branch.
class IifNode : public Node {
public:
    explicit IifNode(Nodes args) : m_args(std::move(args)) { type = iifType(m_args); }
    Value eval(const Scope& s) const override {
        const Value c = m_args[0]->eval(s);
        const bool* b = std::get_if<bool>(&c);
        if (!b && !isNull(c)) mismatch();
        return m_args[b && *b ? 1 : 2]->eval(s);
    }

private:
    Nodes m_args;
};

class RecnoNode : public Node {
public:
    RecnoNode() { type = {'N', 8, 0}; }
    Value eval(const Scope& s) const override { return s.row.recno(); }
    bool isVolatile() const override { return true; }
};

class DeletedNode : public Node {
public:
    DeletedNode() { type = {'L', 1, 0}; }
    Value eval(const Scope& s) const override { return s.row.deleted(); }
    bool isVolatile() const override { return true; }
};

const Function* findFunction(const std::string& name) {
    for (const Function& f : kFunctions)
        if (f.name == name) return &f;
    if (name.size() < 4) return nullptr;
    const Function* found = nullptr;
    for (const Function& f : kFunctions) {
        if (f.name.substr(0, name.size()) != name) continue;
        if (found) return nullptr;  // ambiguous abbreviation
        found = &f;
    }
    return found;
}

bool startsWithName(const std::string& name, std::string_view full) {
    return name == full || (name.size() >= 4 && full.substr(0, name.size()) == name);
}

void checkCount(std::size_t have, int min, int max) {
    if (static_cast<int>(have) < min || (max >= 0 && static_cast<int>(have) > max))
        throw ProviderError::make(FoxError::SyntaxError);
}

}  // namespace

NodePtr makeCallNode(const std::string& name, std::vector<NodePtr> args) {
    if (name == "IIF") {
        checkCount(args.size(), 3, 3);
        return std::make_unique<IifNode>(std::move(args));
    }
    if (startsWithName(name, "RECNO") ||
        startsWithName(name, "DELETED")) {  // optional alias argument ignored
        checkCount(args.size(), 0, 1);
        if (name[0] == 'R') return std::make_unique<RecnoNode>();
        return std::make_unique<DeletedNode>();
    }
    const Function* f = findFunction(name);
    if (!f) throw ProviderError::make(FoxError::FileDoesNotExist, toLowerText(name) + ".prg");
    checkCount(args.size(), f->minArgs, f->maxArgs);
    return std::make_unique<CallNode>(*f, std::move(args));
}

}  // namespace dorvane::provider::sql::detail
