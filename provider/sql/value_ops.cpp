#include "provider/sql/value_ops.h"

#include <cmath>
#include <limits>
#include <string>

#include "provider/error.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

[[noreturn]] void mismatch() {
    throw ProviderError::make(FoxError::DataTypeMismatch);
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

bool isNumeric(const Value& v) {
    return std::holds_alternative<double>(v) || std::holds_alternative<std::int64_t>(v) ||
           std::holds_alternative<Currency>(v);
}

std::int64_t timeMs(const DateTime& t) {
    return std::int64_t(t.julianDay) * kMsPerDay + t.milliseconds;
}

DateTime fromMs(std::int64_t ms) {
    std::int64_t day = ms / kMsPerDay, rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    return DateTime{static_cast<std::int32_t>(day), static_cast<std::int32_t>(rest)};
}

// Days (dates) or seconds (datetimes) added; results outside years 1..9999 raise NumericOverflow.
Value dateShift(const Value& base, double amount) {
    constexpr std::int64_t kFirstDay = 1721426, kLastDay = 5373484;  // 0001-01-01, 9999-12-31
    if (!(std::fabs(amount) < 1e13)) throw ProviderError::make(FoxError::NumericOverflow);
    std::int64_t day = 0;
    Value result;
    if (const auto* d = std::get_if<Date>(&base)) {
        if (d->empty()) return *d;
        day = d->julianDay + std::llround(amount);
        result = Date{static_cast<std::int32_t>(day)};
    } else {
        const auto& t = std::get<DateTime>(base);
        if (t.empty()) return t;
        const DateTime shifted = fromMs(timeMs(t) + std::llround(amount * 1000.0));
        day = shifted.julianDay;
        result = shifted;
    }
    if (day < kFirstDay || day > kLastDay) throw ProviderError::make(FoxError::NumericOverflow);
    return result;
}

// a - b for texts: a's trailing blanks move to the end of the result.
std::string concatMovingBlanks(const std::string& a, const std::string& b) {
    const std::string_view trimmed = trimRightBlanks(a);
    std::string out(trimmed);
    out += b;
    out.append(a.size() - trimmed.size(), ' ');
    return out;
}

Value numeric(ExprOp op, const Value& left, const Value& right) {
    const auto* li = std::get_if<std::int64_t>(&left);
    const auto* ri = std::get_if<std::int64_t>(&right);
    if (li && ri && (op == ExprOp::Add || op == ExprOp::Subtract || op == ExprOp::Multiply)) {
        std::int64_t r = 0;
        const bool overflowed = op == ExprOp::Add        ? __builtin_add_overflow(*li, *ri, &r)
                                : op == ExprOp::Subtract ? __builtin_sub_overflow(*li, *ri, &r)
                                                         : __builtin_mul_overflow(*li, *ri, &r);
        if (!overflowed) return r;
    }
    const double a = *numericValue(left), b = *numericValue(right);
    double r = 0;
    switch (op) {
        case ExprOp::Add:
            r = a + b;
            break;
        case ExprOp::Subtract:
            r = a - b;
            break;
        case ExprOp::Multiply:
            r = a * b;
            break;
        case ExprOp::Divide:
            if (b == 0) throw ProviderError::make(FoxError::NumericOverflow);
            r = a / b;
            break;
        case ExprOp::Modulo:  // FoxPro's MOD: the result takes the divisor's sign
            if (b == 0) throw ProviderError::make(FoxError::NumericOverflow);
            if (li && ri) {
                std::int64_t m = *li % *ri;
                if (m != 0 && ((m < 0) != (*ri < 0))) m += *ri;
                return m;
            }
            r = std::fmod(a, b);
            if (r != 0 && ((r < 0) != (b < 0))) r += b;
            break;
        case ExprOp::Power:
            r = std::pow(a, b);
            break;
        default:
            mismatch();
    }
    if (!std::isfinite(r)) throw ProviderError::make(FoxError::NumericOverflow);
    if (std::holds_alternative<Currency>(left) || std::holds_alternative<Currency>(right)) {
        if (op != ExprOp::Power && op != ExprOp::Modulo && std::fabs(r) < 9.2e14)
            return Currency{std::llround(r * 10000.0)};
    }
    return r;
}

}  // namespace

std::optional<double> numericValue(const Value& v) {
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* c = std::get_if<Currency>(&v)) return static_cast<double>(c->scaled) / 10000.0;
    return std::nullopt;
}

std::optional<int> compareValues(const Value& left, const Value& right, TextCompareMode mode,
                                 const EvalOptions& options) {
    if (isNull(left) || isNull(right)) return std::nullopt;
    if (const auto* a = std::get_if<std::string>(&left)) {
        if (const auto* b = std::get_if<std::string>(&right)) return compareText(*a, *b, mode, options);
        mismatch();
    }
    if (const auto* a = std::get_if<std::int64_t>(&left))
        if (const auto* b = std::get_if<std::int64_t>(&right)) return threeWay(*a, *b);
    if (const auto* a = std::get_if<Currency>(&left))
        if (const auto* b = std::get_if<Currency>(&right)) return threeWay(a->scaled, b->scaled);
    if (isNumeric(left)) {
        if (!isNumeric(right)) mismatch();
        return threeWay(*numericValue(left), *numericValue(right));
    }
    const auto asDateTime = [](const Value& v) -> std::optional<std::int64_t> {
        if (const auto* d = std::get_if<Date>(&v)) return std::int64_t(d->julianDay) * kMsPerDay;
        if (const auto* t = std::get_if<DateTime>(&v)) return timeMs(*t);
        return std::nullopt;
    };
    if (const auto a = asDateTime(left)) {
        const auto b = asDateTime(right);
        if (!b) mismatch();
        return threeWay(*a, *b);
    }
    if (const auto* a = std::get_if<bool>(&left)) {
        if (const auto* b = std::get_if<bool>(&right)) return threeWay(*a, *b);
        mismatch();
    }
    if (const auto* a = std::get_if<Blob>(&left)) {
        if (const auto* b = std::get_if<Blob>(&right)) return threeWay(a->bytes, b->bytes);
        mismatch();
    }
    mismatch();
}

Value applyComparison(ExprOp op, const Value& left, const Value& right, const EvalOptions& options) {
    TextCompareMode mode = comparisonMode(options);
    if (op == ExprOp::ExactEqual) mode = TextCompareMode::Identical;
    const std::optional<int> c = compareValues(left, right, mode, options);
    if (!c) return Value{};
    switch (op) {
        case ExprOp::Equal:
        case ExprOp::ExactEqual:
            return *c == 0;
        case ExprOp::NotEqual:
            return *c != 0;
        case ExprOp::Less:
            return *c < 0;
        case ExprOp::LessEqual:
            return *c <= 0;
        case ExprOp::Greater:
            return *c > 0;
        case ExprOp::GreaterEqual:
            return *c >= 0;
        default:
            mismatch();
    }
}

Value applyArithmetic(ExprOp op, const Value& left, const Value& right) {
    if (isNull(left) || isNull(right)) return Value{};
    const auto* ls = std::get_if<std::string>(&left);
    const auto* rs = std::get_if<std::string>(&right);
    if (ls || rs) {
        if (!ls || !rs) mismatch();
        if (op == ExprOp::Add) return *ls + *rs;
        if (op == ExprOp::Subtract) return concatMovingBlanks(*ls, *rs);
        if (op == ExprOp::Contains) return !ls->empty() && rs->find(*ls) != std::string::npos;
        mismatch();
    }
    const bool leftDate = std::holds_alternative<Date>(left) || std::holds_alternative<DateTime>(left);
    const bool rightDate = std::holds_alternative<Date>(right) || std::holds_alternative<DateTime>(right);
    if (leftDate || rightDate) {
        if (op == ExprOp::Add && leftDate && isNumeric(right)) return dateShift(left, *numericValue(right));
        if (op == ExprOp::Add && rightDate && isNumeric(left)) return dateShift(right, *numericValue(left));
        if (op == ExprOp::Subtract && leftDate && isNumeric(right))
            return dateShift(left, -*numericValue(right));
        if (op == ExprOp::Subtract && leftDate && rightDate && left.index() == right.index()) {
            if (const auto* a = std::get_if<Date>(&left))
                return std::int64_t(a->julianDay) - std::get<Date>(right).julianDay;
            return double(timeMs(std::get<DateTime>(left)) - timeMs(std::get<DateTime>(right))) / 1000.0;
        }
        mismatch();
    }
    if (!isNumeric(left) || !isNumeric(right) || op == ExprOp::Contains) mismatch();
    return numeric(op, left, right);
}

Value applyLike(const Value& text, const Value& pattern) {
    if (isNull(text) || isNull(pattern)) return Value{};
    const auto* t = std::get_if<std::string>(&text);
    const auto* p = std::get_if<std::string>(&pattern);
    if (!t || !p) mismatch();
    std::u32string s, pat;
    const std::string_view trimmed = trimRightBlanks(*t);
    for (std::size_t i = 0; i < trimmed.size();) s.push_back(decodeChar(trimmed, i));
    for (std::size_t i = 0; i < p->size();) pat.push_back(decodeChar(*p, i));
    // Greedy match with one backtrack point: the last % seen.
    std::size_t si = 0, pi = 0, starPattern = std::u32string::npos, starText = 0;
    while (si < s.size()) {
        if (pi < pat.size() && (pat[pi] == U'_' || pat[pi] == s[si])) {
            ++si;
            ++pi;
        } else if (pi < pat.size() && pat[pi] == U'%') {
            starPattern = pi++;
            starText = si;
        } else if (starPattern != std::u32string::npos) {
            pi = starPattern + 1;
            si = ++starText;
        } else {
            return false;
        }
    }
    while (pi < pat.size() && pat[pi] == U'%') ++pi;
    return pi == pat.size();
}

Value applyNegate(const Value& operand) {
    if (isNull(operand)) return operand;
    if (const auto* i = std::get_if<std::int64_t>(&operand)) {
        if (*i == std::numeric_limits<std::int64_t>::min()) return -static_cast<double>(*i);
        return -*i;
    }
    if (const auto* d = std::get_if<double>(&operand)) return -*d;
    if (const auto* c = std::get_if<Currency>(&operand)) return Currency{-c->scaled};
    mismatch();
}

}  // namespace dorvane::provider::sql
