#include "catalogue/temporary_field.h"

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"

namespace dorvane::catalogue {

void prepareTemporaryColumn(provider::Connection& connection, const QString& table,
                            const std::function<void()>& beforeChange) {
    const std::string name = table.toStdString();
    provider::Recordset columns;
    columns.CursorLocation = 3;
    columns.Open("select * from [" + name + "]", connection, 1, 3);
    bool exists = false;
    const provider::Fields fields = columns.Fields();
    for (int i = 0; i < fields.count() && !exists; ++i) exists = fields[i].name() == "tempidxxx";
    if (beforeChange) beforeChange();
    if (exists) connection.Execute("ALTER TABLE [" + name + "] DROP COLUMN tempidxxx");
    connection.Execute("ALTER TABLE [" + name + "] ADD COLUMN tempidxxx i NULL");
    connection.Execute("update [" + name + "] set tempidxxx = recno()");
    if (columns.state() != 0) columns.Close();
}

}  // namespace dorvane::catalogue
