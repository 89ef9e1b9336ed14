// A pop-up menu shown at the mouse: the caller names its items and learns which one was chosen.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace dorvane::platform {

struct PopupMenuItem {
    QString name;     // the item's objectName (mnuTXT)
    QString caption;  // what the item shows (TXT)
};

class PopupMenu {
public:
    virtual ~PopupMenu() = default;
    // Shows the menu `name` with `caption` as its title at the mouse position, modally, and returns the
    // name of the chosen item, or "" when the menu was dismissed.
    virtual QString popup(QWidget* owner, const QString& name, const QString& caption,
                          const QList<PopupMenuItem>& items) = 0;
};

}  // namespace dorvane::platform
