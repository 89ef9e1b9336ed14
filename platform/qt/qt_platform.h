// The real desktop: Qt dialogs, QSettings in the user's configuration folder, the file system.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace dorvane::platform {

// The settings file of one application: $XDG_CONFIG_HOME (or ~/.config) / <application> / settings.ini,
// one group per section.
QString settingsFilePath(const QString& application);

// Turns a "Desc|*.a;*.b|Desc2|*.c|" filter into Qt's "Desc (*.a *.b);;Desc2 (*.c)".
QString qtNameFilter(const QString& pipeFilter);

class QtPlatform {
public:
    QtPlatform();
    ~QtPlatform();
    Platform platform();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};

}  // namespace dorvane::platform
