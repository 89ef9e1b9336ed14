// A scripted desktop for window tests: modal boxes and dialogs answer from queues and record what they
// were shown, settings live in memory, so tests never block.
#pragma once

#include <QDialog>
#include <QMap>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/fake/fake_export_platform.h"
#include "platform/platform.h"

namespace dorvane::platform {

struct ShownMessage {
    QString text;
    QString title;  // the title the box showed (the application title when the request named none)
    MessageButtons buttons;
    MessageIcon icon;
};

class FakeMessageBox final : public MessageBox {
public:
    // Answers in order; with none queued, a box answers its first button (OK or Yes).
    std::deque<MessageAnswer> answers;
    std::vector<ShownMessage> shown;

    MessageAnswer show(QWidget* owner, const MessageRequest& request) override;
    void setApplicationTitle(const QString& title) override { m_title = title; }
    QString applicationTitle() const override { return m_title; }
    QStringList texts() const;

private:
    QString m_title;
};

class FakeInputBox final : public InputBox {
public:
    struct Asked {
        QString prompt, title, defaultText;
    };
    std::deque<InputResult> answers;  // none queued: Cancel
    std::vector<Asked> asked;
    InputResult ask(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText) override;
};

class FakeFileDialog final : public FileDialog {
public:
    std::deque<QString> answers;  // the chosen path, "" for Cancel; none queued: Cancel
    std::vector<FileDialogRequest> opened;
    std::vector<bool> wasOpenDialog;
    void showOpen(QWidget* owner, FileDialogRequest& request) override;
    void showSave(QWidget* owner, FileDialogRequest& request) override;
};

class FakeFolderDialog final : public FolderDialog, private FolderDialogSession {
public:
    std::deque<QString> answers;  // none queued: Cancel
    QStringList titles;
    std::vector<unsigned> flags;
    QStringList selections;       // what the caller selected when the dialog had initialised
    QString browse(QWidget* owner, const QString& title, unsigned flags,
                   const std::function<void(FolderDialogSession&, int)>& notify) override;

private:
    void setSelection(const QString& path) override { selections << path; }
};

class FakePointerControl final : public PointerControl {
public:
    void set(QWidget* window, Pointer pointer) override { m_pointers[window] = pointer; history.push_back(pointer); }
    Pointer get(QWidget* window) const override { return m_pointers.value(window, Pointer::Default); }
    bool loadCustom(QWidget* window, const QString& cursorFile) override;
    QStringList loadedCursors;
    std::vector<Pointer> history;

private:
    QMap<QWidget*, Pointer> m_pointers;
};

class FakeSettingsStore final : public SettingsStore {
public:
    QString get(const QString& application, const QString& section, const QString& key) const override;
    void save(const QString& application, const QString& section, const QString& key, const QString& value) override;
    QMap<QString, QString> values;  // "application/section/key" -> value
    QStringList writes;             // "key=value" in the order written
};

// The environment of a test: a chosen program folder and variables; files are the real file system.
class FakeEnvironment final : public Environment {
public:
    QString folder;
    QMap<QString, QString> variables;
    QString temp;
    QString programFolder() const override { return folder; }
    QString variable(const QString& name) const override { return variables.value(name); }
    QString tempFolder() const override { return temp; }
    std::optional<QDateTime> fileDateTime(const QString& path) const override;
    QByteArray readFile(const QString& path) const override;
};

class FakeEventPump final : public EventPump {
public:
    int calls = 0;
    void doEvents() override { ++calls; }
};

class FakeWindowRunner final : public WindowRunner {
public:
    // Each modal window is handed to the next script, which drives it (clicks OK, types) and returns the
    // result; with none queued the window is closed at once (rejected).
    std::deque<std::function<int(QDialog&)>> scripts;
    QStringList shownWindows;  // objectName of each window shown
    int showModal(QDialog& dialog) override;
};

struct FakePlatform {
    FakeMessageBox messageBox;
    FakeInputBox inputBox;
    FakeFileDialog fileDialog;
    FakeFolderDialog folderDialog;
    FakePointerControl pointer;
    FakeSettingsStore settings;
    FakeEnvironment environment;
    FakeEventPump events;
    FakeWindowRunner windows;
    FakePopupMenu popupMenu;
    FakePrinters printers;
    FakeConfigurationStore configurationStore;
    FakeProgramLauncher programs;
    FakeSpreadsheetAutomation spreadsheet;

    Platform platform() {
        return Platform{messageBox, inputBox,   fileDialog,         folderDialog, pointer,    settings,   environment,
                        events,     windows,    popupMenu,          printers,     configurationStore, programs,
                        spreadsheet};
    }
};

}  // namespace dorvane::platform
