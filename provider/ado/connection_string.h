// Parsing of an OLE DB ConnectionString ("Key=Value;Key=Value") into the settings the provider uses.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace dorvane::provider {

enum class Collation { Machine, General };

struct ConnectionSettings {
    std::string provider;     // "vfpoledb.1"
    std::string dataSource;   // a folder of free tables or a .dbc file, as given
    Collation collation = Collation::Machine;
    bool exclusive = false;   // "mode=share exclusive"
};

// Splits on ";" and "=", keys case-insensitive and trimmed, values trimmed; a value may be put in double
// or single quotes to hold a ";". Unknown keys are ignored, as OLE DB ignores properties it does not know.
// Raises ProviderError for a provider other than the FoxPro one or an unknown collating sequence.
ConnectionSettings parseConnectionString(std::string_view text);

}  // namespace dorvane::provider
