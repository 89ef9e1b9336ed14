#include "provider/ado/recordset.h"

#include <strings.h>

#include "provider/ado/connection.h"
#include "provider/error.h"
#include "provider/sql/value_text.h"

namespace dorvane::provider {

void RowTexts::rethrowFailure(int column) const {
    for (const auto& [failed, failure] : m_failures) {
        if (failed == column) std::rethrow_exception(failure);
    }
}

void appendText(std::string& out, const Value& value, const ColumnInfo& column, TextForm form) {
    if (form == TextForm::Cell) {
        sql::appendCellText(out, value, column.type, column.decimals);
    } else {
        sql::appendForGrid(out, value, column.type, column.decimals);
    }
}

void RowSource::rowTexts(std::int64_t row, TextForm form, RowTexts& out) const {
    out.clear();
    for (int c = 0; c < columnCount(); ++c) {
        try {
            appendText(out.bytes(), value(row, c), column(c), form);
            out.endCell();
        } catch (...) {
            out.failCell(std::current_exception());
        }
    }
}

MemoryRowSource::MemoryRowSource(std::vector<ColumnInfo> columns,
                                 std::vector<std::vector<dorvane::provider::Value>> rows)
    : m_columns(std::move(columns)), m_rows(std::move(rows)) {}

std::string FieldRef::name() const {
    return m_owner.DataSource()->column(m_index).name;
}

dorvane::provider::Value FieldRef::Value() const {
    if (m_owner.Eof()) throw ProviderError::ado(kAdErrNoCurrentRecord);
    return m_owner.DataSource()->value(m_owner.position(), m_index);
}

int Fields::count() const {
    return m_owner.DataSource() ? m_owner.DataSource()->columnCount() : 0;
}

FieldRef Fields::operator[](int index) const {
    if (index < 0 || index >= count()) throw ProviderError::ado(kAdErrItemNotFound);
    return FieldRef(m_owner, index);
}

FieldRef Fields::operator[](const std::string& name) const {
    for (int i = 0; i < count(); ++i) {
        if (strcasecmp(m_owner.DataSource()->column(i).name.c_str(), name.c_str()) == 0)
            return FieldRef(m_owner, i);
    }
    throw ProviderError::ado(kAdErrItemNotFound);
}

void Recordset::Open(const std::string& select, Connection& connection, int cursorType, int lockType) {
    if (m_rows) throw ProviderError::ado(kAdErrObjectOpen);
    m_rows = connection.query(select);
    m_position = 0;
}

void Recordset::openOver(std::shared_ptr<RowSource> rows) {
    m_rows = std::move(rows);
    m_position = 0;
}

bool Recordset::Eof() const {
    return !m_rows || m_position >= m_rows->rowCount();
}

void Recordset::MoveNext() {
    if (Eof()) throw ProviderError::ado(kAdErrNoCurrentRecord);
    ++m_position;
}

int Recordset::state() const {
    return m_rows ? kStateOpen : kStateClosed;
}

void Recordset::Close() {
    if (!m_rows) throw ProviderError::ado(kAdErrObjectClosed);
    m_rows.reset();
    m_position = 0;
}

}  // namespace dorvane::provider
