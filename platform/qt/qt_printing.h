// The Linux side of printing, the pop-up menu and programs: CUPS printers through Qt's print support,
// the user's CUPS default printer, the configuration store that names our programs, and QProcess.
#pragma once

#include <QHash>
#include <QProcess>
#include <memory>

#include "platform/popup_menu.h"
#include "platform/printing.h"

namespace dorvane::platform {

class QtPopupMenu final : public PopupMenu {
public:
    QString popup(QWidget* owner, const QString& name, const QString& caption,
                  const QList<PopupMenuItem>& items) override;
};

// CUPS queues: a printer's device name is its description when it has one, else its queue name.
class CupsPrinters final : public Printers {
public:
    // `lpoptionsFile`: where the user's CUPS default is kept ("" for ~/.cups/lpoptions).
    explicit CupsPrinters(QString lpoptionsFile = QString());
    QStringList deviceNames() override;
    QString defaultPrinter() override;
    // An empty name removes the user's own default.
    void setDefaultPrinter(const QString& deviceName) override;

private:
    QString m_lpoptions;
};

// The text of a CUPS lpoptions file with `queue` as its default: the old "Default" line becomes a
// "Dest" line, the queue's own line (or a new one) becomes "Default", every option is kept. An empty
// queue leaves no default.
QString lpoptionsWithDefault(const QString& content, const QString& queue);

// The word processor's key names our print program beside this one (double-quoted when its path holds
// a blank); no other key exists.
class ProgramConfigurationStore final : public ConfigurationStore {
public:
    explicit ProgramConfigurationStore(QString programFolder);
    long RegOpenKeyA(std::uintptr_t root, const QString& subKey, std::uintptr_t& key) override;
    long RegQueryValueA(std::uintptr_t key, const QString& subKey, QString& buffer, long& size) override;
    long RegCloseKey(std::uintptr_t key) override;

private:
    QString m_folder;
    QHash<std::uintptr_t, QString> m_open;
    std::uintptr_t m_next = 1;
};

inline constexpr char kWordProcessorKey[] = "Wordpad.Document.1\\Protocol\\StdFileEditing\\Server";
inline constexpr char kPrintProgramName[] = "dorvane-wordpad";

// Starts programs with QProcess; double quotes group a path that holds blanks. Our programs show no
// window when they only print, so the window style changes nothing here.
class ProcessLauncher final : public ProgramLauncher {
public:
    ~ProcessLauncher() override;
    std::int64_t Shell(const QString& commandLine, WindowStyle style) override;
    bool waitForEnd(std::int64_t processId, int milliseconds) override;

private:
    QHash<std::int64_t, QProcess*> m_running;
};

}  // namespace dorvane::platform
