#include "app/folder_browser.h"

namespace dorvane::app::AddFolder {

QString BrowseForFolder(platform::FolderDialog& dialog, QWidget* owner, const QString& title,
                        const QString& startFolder) {
    const QString start = startFolder;
    const QString chosen = dialog.browse(owner, title, platform::kFolderOnlyFileSystem,
                                         [&start](platform::FolderDialogSession& session, int message) {
                                             // A failure inside the notification is ignored.
                                             try {
                                                 if (message == platform::kFolderDialogInitialized) {
                                                     session.setSelection(start);
                                                 }
                                             } catch (...) {
                                             }
                                         });
    // The path ends at its first NUL, as a C string buffer would.
    const int nul = chosen.indexOf(QChar(u'\0'));
    return nul < 0 ? chosen : chosen.left(nul);
}

}  // namespace dorvane::app::AddFolder
