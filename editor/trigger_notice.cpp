#include "editor/trigger_notice.h"

#include "provider/ado/connection.h"
#include "provider/error.h"

namespace dorvane::editor {

QString foreignTriggerNotice(provider::Connection& connection, const QString& table, QStringList& told) {
    if (told.contains(table, Qt::CaseInsensitive)) return {};
    std::vector<std::string> triggers;
    try {
        triggers = connection.foreignTriggers(table.toStdString());
    } catch (const provider::ProviderError&) {
        return {};  // opening the table tells what is wrong with it
    }
    if (triggers.empty()) return {};
    told << table;
    QString text =
        QStringLiteral("The table ") + table + QStringLiteral(" has triggers that only FoxPro can run:\r");
    for (const auto& trigger : triggers) text += QStringLiteral("\r    ") + QString::fromStdString(trigger);
    return text + QStringLiteral("\r\rChanges you make here are saved without running them.");
}

}  // namespace dorvane::editor
