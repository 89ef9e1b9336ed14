// Printing as the PDF export sees it: the installed printers and the default one, a read-only
// configuration store that names programs, and starting a program. No failure shows anything here;
// callers decide what to report.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace dorvane::platform {

class Printers {
public:
    virtual ~Printers() = default;
    // The device names of the installed printers, in the system's order. Raises when the list cannot be read.
    virtual QStringList deviceNames() = 0;
    // The device name of the default printer ("" when there is none). Raises when it cannot be read.
    virtual QString defaultPrinter() = 0;
    // Makes the printer with this device name the user's default printer. Raises when there is no such
    // printer or the setting cannot be written.
    virtual void setDefaultPrinter(const QString& deviceName) = 0;
};

// The configuration store's roots and result codes, as its Reg* functions use them.
inline constexpr std::uintptr_t kClassesRoot = 0x80000000u;
inline constexpr long kStoreSuccess = 0;
inline constexpr long kStoreFileNotFound = 2;
inline constexpr long kStoreMoreData = 234;

class ConfigurationStore {
public:
    virtual ~ConfigurationStore() = default;
    // Opens `subKey` under `root`; on success sets `key` and returns kStoreSuccess.
    virtual long RegOpenKeyA(std::uintptr_t root, const QString& subKey, std::uintptr_t& key) = 0;
    // Reads the default value of `key` (subKey empty) into `buffer`, at most `size` characters including
    // the closing NUL; `size` becomes the length written. Returns kStoreSuccess or an error code.
    virtual long RegQueryValueA(std::uintptr_t key, const QString& subKey, QString& buffer, long& size) = 0;
    virtual long RegCloseKey(std::uintptr_t key) = 0;
};

enum class WindowStyle { Hidden = 0, NormalFocus = 1, MinimizedFocus = 2, MaximizedFocus = 3 };

class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Starts the command line (a program path, double-quoted when it holds blanks, and its arguments)
    // with the window style; returns its process id. Raises when the program cannot be started.
    virtual std::int64_t Shell(const QString& commandLine, WindowStyle style) = 0;
    // Waits until the process has ended, at most `milliseconds`; false when it is still running.
    virtual bool waitForEnd(std::int64_t processId, int milliseconds) = 0;
};

}  // namespace dorvane::platform
