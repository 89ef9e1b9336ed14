#include "catalogue/table_listing.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QStringList>
#include <memory>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/sql/value_text.h"

namespace dorvane::catalogue {

namespace {

constexpr qint64 kPumpInterval = 20;  // milliseconds

// A schema value as text: names are texts already; anything else as the grid would show it.
std::string text(const provider::Value& value) {
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    return provider::sql::formatForGrid(value, 'C', 0);
}

}  // namespace

void LoadFoxProTables(QListWidget& list, const QString& connectionString, platform::EventPump& events) {
    auto schema = std::make_shared<provider::Recordset>();
    auto connection = std::make_unique<provider::Connection>();
    connection->CommandTimeout = 5000;
    connection->ConnectionTimeout = 5000;
    connection->Open(connectionString.toStdString());
    schema = connection->OpenSchema(provider::kSchemaTables);
    list.clear();
    // Events are let through before a name at most every kPumpInterval, and the names read meanwhile
    // join the list in one step: a list box relaid and repainted after every one of 10,000 names
    // takes seconds, while this way the window still repaints as the list grows.
    QStringList pending;
    auto flush = [&] {
        list.addItems(pending);
        pending.clear();
    };
    QElapsedTimer sincePump;
    try {
        while (!schema->Eof()) {
            if (text(schema->Fields()["TABLE_TYPE"].Value()) == "TABLE") {
                if (!sincePump.isValid() || sincePump.elapsed() >= kPumpInterval) {
                    flush();
                    events.doEvents();
                    sincePump.start();
                }
                pending << QString::fromStdString(text(schema->Fields()["TABLE_NAME"].Value()));
            }
            schema->MoveNext();
        }
    } catch (...) {
        flush();
        throw;
    }
    flush();
    schema->Close();
    connection->Close();
}

}  // namespace dorvane::catalogue
