#include "platform/qt/qt_platform.h"

#include "platform/qt/qt_printing.h"
#include "platform/qt/xlsx_automation.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>
#include <QWidget>
#include <QtEndian>

namespace dorvane::platform {
namespace {

// A message box shows "\r\n" and a lone "\r" as line breaks.
QString displayText(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

class QtMessageBox final : public MessageBox {
public:
    MessageAnswer show(QWidget* owner, const MessageRequest& request) override {
        QMessageBox box(owner);
        box.setWindowTitle(request.title.isEmpty() ? m_title : request.title);
        box.setText(displayText(request.text));
        box.setTextFormat(Qt::PlainText);
        switch (request.icon) {
        case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
        }
        switch (request.buttons) {
        case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);  // Enter answers Yes
            break;
        case MessageButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case MessageButtons::RetryCancel: box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel); break;
        }
        switch (box.exec()) {
        case QMessageBox::Cancel: return MessageAnswer::Cancel;
        case QMessageBox::Yes: return MessageAnswer::Yes;
        case QMessageBox::No: return MessageAnswer::No;
        case QMessageBox::Retry: return MessageAnswer::Retry;
        default: break;
        }
        // Closing a box by its title bar answers its cancelling button.
        if (request.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
        if (request.buttons == MessageButtons::YesNo) return MessageAnswer::No;
        return box.clickedButton() ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    void setApplicationTitle(const QString& title) override { m_title = title; }
    QString applicationTitle() const override { return m_title; }

private:
    QString m_title = QCoreApplication::applicationName();
};

class QtInputBox final : public InputBox {
public:
    explicit QtInputBox(MessageBox& titles) : m_titles(titles) {}
    InputResult ask(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText) override {
        bool ok = false;
        const QString text = QInputDialog::getText(owner, title.isEmpty() ? m_titles.applicationTitle() : title,
                                                   displayText(prompt), QLineEdit::Normal, defaultText, &ok);
        return ok ? InputResult{true, text} : InputResult{false, QString()};
    }

private:
    MessageBox& m_titles;
};

// Flags of the file dialog that change what Qt does.
constexpr unsigned kOverwritePrompt = 0x2;
constexpr unsigned kFileMustExist = 0x1000;

class QtFileDialog final : public FileDialog {
public:
    void showOpen(QWidget* owner, FileDialogRequest& request) override { run(owner, request, true); }
    void showSave(QWidget* owner, FileDialogRequest& request) override { run(owner, request, false); }

private:
    void run(QWidget* owner, FileDialogRequest& request, bool open) {
        QFileDialog dialog(owner, request.title);
        dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        if (!open && !(request.flags & kOverwritePrompt)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (open && !(request.flags & kFileMustExist)) dialog.setFileMode(QFileDialog::AnyFile);
        const QString filter = qtNameFilter(request.filter);
        if (!filter.isEmpty()) dialog.setNameFilter(filter);
        if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            request.fileName = QDir::toNativeSeparators(dialog.selectedFiles().first());
        } else {
            request.fileName.clear();
        }
    }
};

class QtFolderSession final : public FolderDialogSession {
public:
    explicit QtFolderSession(QFileDialog& dialog) : m_dialog(dialog) {}
    void setSelection(const QString& path) override {
        if (!path.isEmpty() && QFileInfo(path).isDir()) m_dialog.setDirectory(path);
    }

private:
    QFileDialog& m_dialog;
};

class QtFolderDialog final : public FolderDialog {
public:
    QString browse(QWidget* owner, const QString& title, unsigned flags,
                   const std::function<void(FolderDialogSession&, int)>& notify) override {
        QFileDialog dialog(owner, title);
        dialog.setFileMode(QFileDialog::Directory);
        // Only file-system folders exist here, so the file-system-only flag needs nothing more.
        dialog.setOption(QFileDialog::ShowDirsOnly);
        QtFolderSession session(dialog);
        if (notify) notify(session, kFolderDialogInitialized);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath());
    }
};

// Reads a Windows .cur file: the image through Qt's icon reader, the hot spot from the first directory
// entry (bytes 10-11 x, 12-13 y, little-endian).
std::optional<QCursor> readCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 22 || qFromLittleEndian<quint16>(bytes.constData() + 2) != 2) return std::nullopt;
    const int hotX = qFromLittleEndian<quint16>(bytes.constData() + 10);
    const int hotY = qFromLittleEndian<quint16>(bytes.constData() + 12);
    QImageReader reader(path, "ico");
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

class QtPointerControl final : public PointerControl {
public:
    void set(QWidget* window, Pointer pointer) override {
        if (!window) return;
        window->setProperty("dorvanePointer", int(pointer));
        switch (pointer) {
        case Pointer::Default: window->unsetCursor(); break;
        case Pointer::Hourglass: window->setCursor(Qt::WaitCursor); break;
        case Pointer::Custom: {
            const QVariant custom = window->property("dorvaneCustomCursor");
            if (custom.isValid()) {
                window->setCursor(custom.value<QCursor>());
            } else {
                window->unsetCursor();
            }
            break;
        }
        }
    }
    Pointer get(QWidget* window) const override {
        const QVariant v = window ? window->property("dorvanePointer") : QVariant();
        return v.isValid() ? Pointer(v.toInt()) : Pointer::Default;
    }
    bool loadCustom(QWidget* window, const QString& cursorFile) override {
        const auto cursor = readCursorFile(cursorFile);
        if (!cursor || !window) return false;
        window->setProperty("dorvaneCustomCursor", QVariant::fromValue(*cursor));
        return true;
    }
};

class QtSettingsStore final : public SettingsStore {
public:
    QString get(const QString& application, const QString& section, const QString& key) const override {
        QSettings settings(settingsFilePath(application), QSettings::IniFormat);
        settings.beginGroup(section);
        return settings.value(key, QString()).toString();
    }
    void save(const QString& application, const QString& section, const QString& key, const QString& value) override {
        QSettings settings(settingsFilePath(application), QSettings::IniFormat);
        settings.beginGroup(section);
        settings.setValue(key, value);
        settings.endGroup();
        settings.sync();
    }
};

class QtEnvironment final : public Environment {
public:
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }
    QString variable(const QString& name) const override { return qEnvironmentVariable(name.toLocal8Bit().constData()); }
    QString tempFolder() const override { return QDir::tempPath(); }
    std::optional<QDateTime> fileDateTime(const QString& path) const override {
        const QFileInfo info(path);
        if (path.isEmpty() || !info.exists()) return std::nullopt;
        return info.lastModified();
    }
    QByteArray readFile(const QString& path) const override {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

class QtEventPump final : public EventPump {
public:
    void doEvents() override { QCoreApplication::processEvents(); }
};

class QtWindowRunner final : public WindowRunner {
public:
    int showModal(QDialog& dialog) override { return dialog.exec(); }
};

}  // namespace

QString settingsFilePath(const QString& application) {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + application + QStringLiteral("/settings.ini");
}

QString qtNameFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        if (description.isEmpty() && patterns.isEmpty()) continue;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses; a description that already shows them is kept.
        if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1String("(") + patterns + ")")) {
            filters << description;
        } else {
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
        }
    }
    return filters.join(QStringLiteral(";;"));
}

struct QtPlatform::Parts {
    QtMessageBox messageBox;
    QtInputBox inputBox{messageBox};
    QtFileDialog fileDialog;
    QtFolderDialog folderDialog;
    QtPointerControl pointer;
    QtSettingsStore settings;
    QtEnvironment environment;
    QtEventPump events;
    QtWindowRunner windows;
    QtPopupMenu popupMenu;
    CupsPrinters printers;
    ProgramConfigurationStore configurationStore{QCoreApplication::applicationDirPath()};
    ProcessLauncher programs;
    XlsxAutomation spreadsheet;
};

QtPlatform::QtPlatform() : m_parts(std::make_unique<Parts>()) {}
QtPlatform::~QtPlatform() = default;

Platform QtPlatform::platform() {
    Parts& p = *m_parts;
    return Platform{p.messageBox, p.inputBox,  p.fileDialog, p.folderDialog, p.pointer,
                    p.settings,   p.environment, p.events, p.windows,      p.popupMenu,
                    p.printers,   p.configurationStore,    p.programs,     p.spreadsheet};
}

}  // namespace dorvane::platform
