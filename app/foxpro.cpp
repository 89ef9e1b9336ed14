#include "app/foxpro.h"

#include <memory>

#include "app/error_trap.h"
#include "provider/ado/connection.h"

namespace dorvane::app {

bool IsValidFoxProConnection(platform::MessageBox& messageBox, const QString& connectionString) {
    ErrorTrap trap(messageBox, locationLabel(QStringLiteral("Foxpro"), QStringLiteral("IsValidFoxProConnection")));
    std::unique_ptr<provider::Connection> connection;
    bool result = false;
    trap.line(102, [&] { connection = std::make_unique<provider::Connection>(); });
    if (!connection) return false;
    try {
        connection->CursorLocation = 2;
        connection->CommandTimeout = 5000;
        connection->ConnectionTimeout = 5000;
        connection->Open(connectionString.toStdString());
        result = true;
    } catch (...) {
        result = false;
    }
    // Released without Close: dropping the last reference closes it.
    return result;
}

}  // namespace dorvane::app
