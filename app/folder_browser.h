// The AddFolder module: the folder dialog that the connection window's "..." button opens.
#pragma once

#include <QString>

#include "platform/file_dialogs.h"

class QWidget;

namespace dorvane::app::AddFolder {

// Shows the folder dialog (file-system folders only) owned by `owner`, with `startFolder` selected once
// the dialog has initialised. Returns the chosen folder's full path, or "" when the user cancels.
QString BrowseForFolder(platform::FolderDialog& dialog, QWidget* owner, const QString& title,
                        const QString& startFolder);

}  // namespace dorvane::app::AddFolder
