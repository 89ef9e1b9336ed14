// The Foxpro module: the connection check that start-up and the Next button run.
#pragma once

#include <QString>

#include "platform/message_box.h"

namespace dorvane::app {

// Opens a connection with `connectionString` (the plain variant) and drops it: true when it opened.
// Shows nothing and changes nothing; only a failure to create the connection shows the error box.
bool IsValidFoxProConnection(platform::MessageBox& messageBox, const QString& connectionString);

}  // namespace dorvane::app
