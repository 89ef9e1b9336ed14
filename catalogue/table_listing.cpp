#include "catalogue/table_listing.h"

#include <QListWidget>
#include <memory>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/sql/value_text.h"

namespace dorvane::catalogue {

namespace {

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
    while (!schema->Eof()) {
        if (text(schema->Fields()["TABLE_TYPE"].Value()) == "TABLE") {
            events.doEvents();
            list.addItem(QString::fromStdString(text(schema->Fields()["TABLE_NAME"].Value())));
        }
        schema->MoveNext();
    }
    schema->Close();
    connection->Close();
}

}  // namespace dorvane::catalogue
