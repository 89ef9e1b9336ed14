// Everything a window needs from the desktop, handed to each window when it is made.
#pragma once

#include "platform/file_dialogs.h"
#include "platform/message_box.h"
#include "platform/popup_menu.h"
#include "platform/printing.h"
#include "platform/spreadsheet.h"
#include "platform/system.h"

namespace dorvane::platform {

struct Platform {
    MessageBox& messageBox;
    InputBox& inputBox;
    FileDialog& fileDialog;
    FolderDialog& folderDialog;
    PointerControl& pointer;
    SettingsStore& settings;
    Environment& environment;
    EventPump& events;
    WindowRunner& windows;
    PopupMenu& popupMenu;
    Printers& printers;
    ConfigurationStore& configurationStore;
    ProgramLauncher& programs;
    SpreadsheetAutomation& spreadsheet;
};

}  // namespace dorvane::platform
