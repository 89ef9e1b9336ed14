// The rest of the desktop the windows use: the mouse pointer, the per-user settings store, the
// environment and files, the event pump, and running our own modal windows.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class QWidget;
class QDialog;

namespace dorvane::platform {

// A window's mouse pointer: the default arrow, the hourglass, or the window's custom pointer (the hand).
enum class Pointer { Default = 0, Hourglass = 11, Custom = 99 };

class PointerControl {
public:
    virtual ~PointerControl() = default;
    virtual void set(QWidget* window, Pointer pointer) = 0;
    virtual Pointer get(QWidget* window) const = 0;
    // Loads a cursor file (.cur) as the window's custom pointer; false when it cannot be read.
    virtual bool loadCustom(QWidget* window, const QString& cursorFile) = 0;
};

// String values by application, section and key; a key never written reads as "".
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString get(const QString& application, const QString& section, const QString& key) const = 0;
    virtual void save(const QString& application, const QString& section, const QString& key, const QString& value) = 0;
};

class Environment {
public:
    virtual ~Environment() = default;
    // The folder the program was started from (where Samples/, HAND-M.CUR and x/o.cjs lie).
    virtual QString programFolder() const = 0;
    virtual QString variable(const QString& name) const = 0;
    virtual QString tempFolder() const = 0;
    // The file's modification date and time; nullopt when it cannot be read.
    virtual std::optional<QDateTime> fileDateTime(const QString& path) const = 0;
    virtual QByteArray readFile(const QString& path) const = 0;
};

class EventPump {
public:
    virtual ~EventPump() = default;
    // Lets pending window events run (DoEvents).
    virtual void doEvents() = 0;
};

class WindowRunner {
public:
    virtual ~WindowRunner() = default;
    // Shows one of our windows modally and returns when it has closed.
    virtual int showModal(QDialog& dialog) = 0;
};

}  // namespace dorvane::platform
