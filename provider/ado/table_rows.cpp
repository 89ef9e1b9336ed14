#include "provider/ado/table_rows.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/format/record_codec.h"

namespace dorvane::provider {

ColumnInfo columnOf(const Field& field) {
    // Free tables report their field names in lower case, as FoxPro's providers do.
    std::string name = field.longName.empty() ? field.name : field.longName;
    if (field.longName.empty()) {
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return ColumnInfo{name, field.type, field.width, field.decimals, field.isNullable()};
}

RecordMap RecordMap::allBut(std::uint32_t count, std::vector<std::uint32_t> deleted) {
    RecordMap map;
    map.m_count = count;
    map.m_recnos = std::move(deleted);
    return map;
}

RecordMap RecordMap::listed(std::vector<std::uint32_t> recnos) {
    RecordMap map;
    map.m_listed = true;
    map.m_recnos = std::move(recnos);
    return map;
}

std::int64_t RecordMap::size() const {
    return m_listed ? std::int64_t(m_recnos.size()) : std::int64_t(m_count) - std::int64_t(m_recnos.size());
}

std::uint32_t RecordMap::recnoAt(std::int64_t row) const {
    if (row < 0 || row >= size()) throw ProviderError::make(FoxError::RecordOutOfRange);
    if (m_listed) return m_recnos[size_t(row)];
    // The row-th live record is the smallest recno r with r - (deleted records <= r) == row + 1; that
    // count never falls as r grows, so search r between row + 1 and row + 1 + (deleted records).
    const std::uint64_t target = std::uint64_t(row) + 1;
    std::uint64_t low = target, high = target + m_recnos.size();
    while (low < high) {
        const std::uint64_t mid = low + (high - low) / 2;
        const auto deletedUpTo =
            std::uint64_t(std::upper_bound(m_recnos.begin(), m_recnos.end(), mid) - m_recnos.begin());
        if (mid - deletedUpTo >= target) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return std::uint32_t(low);
}

namespace {

// Whether the date y-m-d exists (y, m and d already within 1..9999, 1..12 and 1..31).
bool isCalendarDate(int y, int m, int d) {
    if (d <= 28) return true;
    if (m == 2) return d == 29 && y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    return d <= (m == 4 || m == 6 || m == 9 || m == 11 ? 30 : 31);
}

bool readDigits(const char* p, int n, int& out) {
    int value = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned digit = static_cast<unsigned char>(p[i]) - unsigned('0');
        if (digit > 9) return false;
        value = value * 10 + int(digit);
    }
    out = value;
    return true;
}

bool isDigitByte(char c) {
    return c >= '0' && c <= '9';
}

// Appends the text of an N or F field's bytes that hold a number as FoxPro writes it: right-aligned, an
// optional minus sign, no needless leading zero, exactly the field's decimals, at most fifteen digits
// and not zero. Such a text reads back as the double nearest to it, whose text (fixed decimals in a
// cell, shortest otherwise) has the same digits. False, having appended nothing, for other bytes.
bool appendWrittenNumber(std::string& out, const char* p, int width, int decimals, TextForm form) {
    int i = 0;
    while (i < width && p[i] == ' ') ++i;
    const int start = i;
    if (i < width && p[i] == '-') ++i;
    const int whole = i;
    bool zero = true;
    for (; i < width && isDigitByte(p[i]); ++i) zero &= p[i] == '0';
    const int wholeDigits = i - whole;
    if (wholeDigits == 0 || (wholeDigits > 1 && p[whole] == '0')) return false;
    int fraction = 0;
    if (decimals > 0) {
        if (i == width || p[i] != '.') return false;
        for (++i; i < width && isDigitByte(p[i]); ++i, ++fraction) zero &= p[i] == '0';
    }
    if (i != width || fraction != decimals || wholeDigits + fraction > 15 || zero) return false;
    int end = width;
    if (form == TextForm::Value && decimals > 0) {
        while (p[end - 1] == '0') --end;
        if (p[end - 1] == '.') --end;
    }
    out.append(p + start, std::size_t(end - start));
    return true;
}

}  // namespace

TableRowSource::TableRowSource(std::shared_ptr<Table> table, RecordMap records)
    : m_table(std::move(table)), m_records(std::move(records)), m_row(*m_table) {
    for (const Field& field : m_table->header().fields) {
        if (field.isSystem()) {
            m_nullFlagsOffset = field.offset;
            m_nullFlagsWidth = field.width;
        }
    }
    for (const Field& field : m_table->fields()) {
        m_columns.push_back(columnOf(field));
        CellSource source = CellSource::Value;
        if (!field.isNullable() || (field.nullBit >= 0 && field.nullBit < m_nullFlagsWidth * 8)) {
            switch (field.type) {
                case 'C':
                    if (!field.isBinary() && m_table->codePage()) source = CellSource::Text;
                    break;
                case 'I':
                    source = CellSource::Integer;
                    break;
                case 'L':
                    source = CellSource::Logical;
                    break;
                case 'D':
                    source = CellSource::Date;
                    break;
                case 'N':
                case 'F':
                    source = CellSource::Number;
                    break;
                default:
                    break;
            }
        }
        m_sources.push_back(source);
        m_decoded.push_back(source == CellSource::Value);
        m_nullBits.push_back(field.isNullable() ? field.nullBit : -1);
    }
}

TableRowSource::TableRowSource(std::shared_ptr<Table> table, RecordMap records,
                               std::vector<ColumnInfo> columns, std::vector<int> fields,
                               std::vector<sql::CompiledExpr> expressions)
    : m_table(std::move(table)),
      m_records(std::move(records)),
      m_columns(std::move(columns)),
      m_fields(std::move(fields)),
      m_expressions(std::move(expressions)),
      m_row(*m_table) {}

Value TableRowSource::value(std::int64_t row, int column) const {
    return withProviderErrors([&] { return valueAt(row, column); });
}

void TableRowSource::rowTexts(std::int64_t row, TextForm form, RowTexts& out) const {
    // Chosen columns are read cell by cell: the record may hold fields they do not show.
    if (!m_fields.empty()) return RowSource::rowTexts(row, form, out);
    out.clear();
    try {
        // Texts come the way the fields' values would give them (RecordCodec::decode, then appendText).
        const char* record = m_table->readFields(m_records.recnoAt(row), m_decoded, m_record);
        const std::vector<Field>& fields = m_table->fields();
        std::string& text = out.bytes();
        for (int c = 0; c < columnCount(); ++c) {
            const auto i = std::size_t(c);
            const Field& field = fields[i];
            const char* p = record + field.offset;
            if (m_sources[i] != CellSource::Value && m_nullBits[i] >= 0) {
                const auto bit = std::uint32_t(m_nullBits[i]);
                const auto flags = static_cast<unsigned char>(record[m_nullFlagsOffset + bit / 8]);
                if ((flags >> (bit % 8)) & 1u) {
                    out.endCell();  // null: no text
                    continue;
                }
            }
            switch (m_sources[i]) {
                case CellSource::Value:
                    appendText(text, m_record[i], m_columns[i], form);
                    break;
                case CellSource::Text: {
                    std::size_t end = std::size_t(field.width);
                    while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\0')) --end;
                    const std::size_t start = text.size();
                    m_table->codePage()->decodeAppend(std::string_view(p, end), text);
                    if (form == TextForm::Cell) {
                        std::size_t last = text.size();
                        while (last > start && text[last - 1] == ' ') --last;
                        text.resize(last);
                    }
                    break;
                }
                case CellSource::Integer: {
                    char digits[12];
                    const auto value = std::int32_t(readLe32(p));
                    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
                    break;
                }
                case CellSource::Logical:
                    if (*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y') {
                        text += "True";
                    } else if (*p != '?') {
                        text += "False";
                    }
                    break;
                case CellSource::Date: {
                    int y = 0, m = 0, d = 0;
                    if (field.width != 8 || !readDigits(p, 4, y) || !readDigits(p + 4, 2, m) ||
                        !readDigits(p + 6, 2, d) || y < 1 || m < 1 || m > 12 || d < 1 || d > 31)
                        break;  // an empty date
                    if (isCalendarDate(y, m, d)) {
                        const char date[10] = {p[0], p[1], p[2], p[3], '-', p[4], p[5], '-', p[6], p[7]};
                        text.append(date, sizeof date);
                    } else {
                        appendText(text, Date{julianDayFromCivil(y, m, d)}, m_columns[i], form);
                    }
                    break;
                }
                case CellSource::Number:
                    if (!appendWrittenNumber(text, p, field.width, field.decimals, form))
                        appendText(text, decodeNumeric(p, field.width), m_columns[i], form);
                    break;
            }
            out.endCell();
        }
    } catch (...) {
        // A cell that cannot be read (a damaged memo, say) fails alone.
        return RowSource::rowTexts(row, form, out);
    }
}

Value TableRowSource::valueAt(std::int64_t row, int column) const {
    if (column < 0 || column >= columnCount())
        throw ProviderError::make(FoxError::VariableNotFound, std::to_string(column));
    const std::uint32_t recno = m_records.recnoAt(row);
    if (m_fields.empty()) return m_table->value(recno, column);
    if (m_fields[size_t(column)] >= 0) return m_table->value(recno, m_fields[size_t(column)]);
    m_row.moveTo(recno);
    return m_expressions[size_t(column)].evaluate(m_row);
}

}  // namespace dorvane::provider
