#include "provider/ado/table_rows.h"

#include <algorithm>
#include <cctype>

#include "provider/error.h"

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

TableRowSource::TableRowSource(std::shared_ptr<Table> table, RecordMap records)
    : m_table(std::move(table)), m_records(std::move(records)), m_row(*m_table) {
    for (const Field& field : m_table->fields()) m_columns.push_back(columnOf(field));
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
    try {
        m_table->readRecord(m_records.recnoAt(row), m_record);
    } catch (...) {
        // A cell that cannot be read (a damaged memo, say) fails alone.
        return RowSource::rowTexts(row, form, out);
    }
    out.clear();
    for (int c = 0; c < columnCount(); ++c) {
        appendText(out.bytes(), m_record[std::size_t(c)], m_columns[std::size_t(c)], form);
        out.endCell();
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
