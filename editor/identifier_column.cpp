#include "editor/identifier_column.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <set>

#include "editor/editor_statements.h"
#include "provider/ado/connection.h"
#include "provider/error.h"

namespace dorvane::editor {

bool endsWithIdentifier(const provider::RowSource& rows) {
    const int count = rows.columnCount();
    return count > 0 && rows.column(count - 1).name == kIdentifierColumn;
}

namespace {

std::optional<std::int64_t> identifierOf(const provider::Value& value) {
    if (const auto* id = std::get_if<std::int64_t>(&value)) return *id;
    if (const auto* number = std::get_if<double>(&value)) return std::int64_t(*number);
    return std::nullopt;
}

}  // namespace

qint32 largestIdentifier(const provider::RowSource& rows) {
    if (!endsWithIdentifier(rows)) return 0;
    const int column = rows.columnCount() - 1;
    const std::int64_t count = rows.rowCount();
    if (count == 0) return 0;
    // Just after numbering, identifiers are record numbers and rows come in record order, so the last
    // row holds the largest: a table of a million rows is not read whole for it. Only when that row has
    // none (the numbering failed) are the rows looked through.
    std::optional<std::int64_t> largest = identifierOf(rows.value(count - 1, column));
    if (!largest) {
        largest = 0;
        for (std::int64_t row = 0; row < count; ++row) {
            if (const auto id = identifierOf(rows.value(row, column))) largest = std::max(*largest, *id);
        }
    }
    return qint32(std::clamp<std::int64_t>(*largest, 0, INT32_MAX));
}

QString readOnlyReason(provider::Connection& connection, const QString& table, const QString& someField) {
    const QString probe = QStringLiteral("update [") + table + QStringLiteral("] set [") + someField +
                          QStringLiteral("]=[") + someField + QStringLiteral("] where 1=0");
    try {
        connection.Execute(probe.toStdString());
    } catch (const provider::ProviderError& e) {
        return QString::fromStdString(e.message());
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    }
    return QStringLiteral("Its row identifier column could not be added.");
}

int removeIdentifierColumns(app::EditingSession& session) {
    if (session.SharedConnection && session.SharedConnection->state() != provider::kStateClosed) {
        try {
            session.SharedConnection->Close();
        } catch (...) {
        }
    }
    int changed = 0;
    std::set<std::pair<QString, QString>> done;
    for (const auto& prepared : session.preparedTables) {
        if (!done.insert({prepared.connectionString, prepared.table}).second) continue;
        try {
            provider::Connection connection;
            connection.Open(prepared.connectionString.toStdString());
            bool present = false;
            {
                const auto rows = connection.query(("select * from [" + prepared.table + "]").toStdString());
                for (int i = 0; i < rows->columnCount(); ++i)
                    present = present || rows->column(i).name == kIdentifierColumn;
            }
            if (present) {
                connection.Execute(dropIdentifier(prepared.table).toStdString());
                ++changed;
            }
            connection.Close();
        } catch (...) {
        }
    }
    return changed;
}

}  // namespace dorvane::editor
