// The data source in use: the settings that keep it between runs, and the rule that turns it into the
// ConnectionString every window sends to the provider.
#pragma once

#include <QString>

#include "platform/system.h"

namespace dorvane::app {

inline constexpr char kSettingsApplication[] = "Kellmark";
inline constexpr char kSettingsSection[] = "Dorvane Table Suite";
inline constexpr char kKeyFoxproOption[] = "FoxproOption";        // "1" container, "2" folder
inline constexpr char kKeyFreeTableFolder[] = "FreeTableFolder";
inline constexpr char kKeyDbcFile[] = "DBCFile";
inline constexpr char kOptionContainer[] = "1";
inline constexpr char kOptionFolder[] = "2";

// Reads and writes the three data-source keys; a key never written reads as "".
class DataSourceSettings {
public:
    explicit DataSourceSettings(platform::SettingsStore& store) : m_store(store) {}
    QString read(const char* key) const;
    void write(const char* key, const QString& value);

private:
    platform::SettingsStore& m_store;
};

enum class ConnectionVariant { Plain, Exclusive };

// "Provider=vfpoledb.1;Data Source=" + the container path (container mode) or the folder text, followed
// by the machine (container) or general (folder) collating tail of the variant. Paths pass unchanged.
QString buildConnectionString(bool optionDbc, const QString& dbcPath, const QString& folderText,
                              ConnectionVariant variant);

// Where the current data source is read from: the connection window.
class DataSourceHolder {
public:
    virtual ~DataSourceHolder() = default;
    virtual QString connectionString(ConnectionVariant variant) const = 0;
};

}  // namespace dorvane::app
