// Open/save file dialogs and the folder dialog. Each request keeps the chosen file name, as a file
// dialog control keeps its FileName between uses.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace dorvane::platform {

struct FileDialogRequest {
    QString title;
    QString filter;    // "Description|*.ext|Description|*.a;*.b|" pairs, as the windows write them
    unsigned flags = 0;
    QString fileName;  // in: the proposed name; out: the chosen name, empty when cancelled
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    // Both set request.fileName to the chosen path, or to "" when the user cancels.
    virtual void showOpen(QWidget* owner, FileDialogRequest& request) = 0;
    virtual void showSave(QWidget* owner, FileDialogRequest& request) = 0;
};

// What the folder dialog tells its caller while it runs.
class FolderDialogSession {
public:
    virtual ~FolderDialogSession() = default;
    // Selects `path` in the open dialog (the "set selection" message).
    virtual void setSelection(const QString& path) = 0;
};

inline constexpr int kFolderDialogInitialized = 1;    // notification: the dialog has initialised
inline constexpr unsigned kFolderOnlyFileSystem = 1;  // flag: only file-system folders can be chosen

class FolderDialog {
public:
    virtual ~FolderDialog() = default;
    // Shows the modal folder dialog; `notify` receives (session, message) notifications, message 1 once
    // the dialog has initialised. Returns the chosen folder's full path, or "" when cancelled.
    virtual QString browse(QWidget* owner, const QString& title, unsigned flags,
                           const std::function<void(FolderDialogSession&, int message)>& notify) = 0;
};

}  // namespace dorvane::platform
