#include "app/data_source.h"

namespace dorvane::app {

QString DataSourceSettings::read(const char* key) const {
    return m_store.get(QLatin1String(kSettingsApplication), QLatin1String(kSettingsSection), QLatin1String(key));
}

void DataSourceSettings::write(const char* key, const QString& value) {
    m_store.save(QLatin1String(kSettingsApplication), QLatin1String(kSettingsSection), QLatin1String(key), value);
}

QString buildConnectionString(bool optionDbc, const QString& dbcPath, const QString& folderText,
                              ConnectionVariant variant) {
    const bool exclusive = variant == ConnectionVariant::Exclusive;
    QString text = QStringLiteral("Provider=vfpoledb.1;Data Source=");
    if (optionDbc) {
        text += dbcPath;
        text += exclusive ? QStringLiteral(";Collating Sequence=machine;mode=share exclusive")
                          : QStringLiteral(";Collating Sequence=machine;");
    } else {
        text += folderText;
        text += exclusive ? QStringLiteral(";Collating Sequence=general;mode=share exclusive;")
                          : QStringLiteral(";Collating Sequence=general;");
    }
    return text;
}

}  // namespace dorvane::app
