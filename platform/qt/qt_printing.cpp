#include "platform/qt/qt_printing.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPrinterInfo>
#include <QSaveFile>
#include <stdexcept>

namespace dorvane::platform {

QString QtPopupMenu::popup(QWidget* owner, const QString& name, const QString& caption,
                           const QList<PopupMenuItem>& items) {
    QMenu menu(owner);
    menu.setObjectName(name);
    menu.setTitle(caption);
    for (const PopupMenuItem& item : items) menu.addAction(item.caption)->setObjectName(item.name);
    QAction* chosen = menu.exec(QCursor::pos());
    return chosen ? chosen->objectName() : QString();
}

namespace {

QString deviceNameOf(const QPrinterInfo& info) {
    return info.description().isEmpty() ? info.printerName() : info.description();
}

}  // namespace

CupsPrinters::CupsPrinters(QString lpoptionsFile) : m_lpoptions(std::move(lpoptionsFile)) {
    if (m_lpoptions.isEmpty()) m_lpoptions = QDir::homePath() + QStringLiteral("/.cups/lpoptions");
}

QStringList CupsPrinters::deviceNames() {
    QStringList names;
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) names << deviceNameOf(info);
    return names;
}

QString CupsPrinters::defaultPrinter() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    return info.isNull() ? QString() : deviceNameOf(info);
}

void CupsPrinters::setDefaultPrinter(const QString& deviceName) {
    QString queue;
    // No name: the user keeps no default of their own (as before a default was first chosen).
    for (const QPrinterInfo& info : deviceName.isEmpty() ? QList<QPrinterInfo>() : QPrinterInfo::availablePrinters()) {
        if (deviceNameOf(info) == deviceName) {
            queue = info.printerName();
            break;
        }
    }
    if (queue.isEmpty() && !deviceName.isEmpty()) throw std::runtime_error("There is no printer of that name.");
    QFile old(m_lpoptions);
    const QString content = old.open(QIODevice::ReadOnly) ? QString::fromUtf8(old.readAll()) : QString();
    QDir().mkpath(QFileInfo(m_lpoptions).absolutePath());
    QSaveFile file(m_lpoptions);
    if (!file.open(QIODevice::WriteOnly) || file.write(lpoptionsWithDefault(content, queue).toUtf8()) < 0 ||
        !file.commit()) {
        throw std::runtime_error("The default printer cannot be set.");
    }
}

QString lpoptionsWithDefault(const QString& content, const QString& queue) {
    QStringList lines = content.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    bool found = false;
    for (QString& line : lines) {
        QStringList words = line.split(QLatin1Char(' '));
        if (words.size() < 2) continue;
        const bool isDefault = words[0].compare(QLatin1String("Default"), Qt::CaseInsensitive) == 0;
        const bool isDest = words[0].compare(QLatin1String("Dest"), Qt::CaseInsensitive) == 0;
        if (!isDefault && !isDest) continue;
        // An instance ("queue/instance") is a destination of its own.
        const bool ours = words[1] == queue;
        words[0] = ours ? QStringLiteral("Default") : QStringLiteral("Dest");
        found = found || ours;
        line = words.join(QLatin1Char(' '));
    }
    if (!found && !queue.isEmpty()) lines << QStringLiteral("Default ") + queue;
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

ProgramConfigurationStore::ProgramConfigurationStore(QString programFolder)
    : m_folder(std::move(programFolder)) {}

long ProgramConfigurationStore::RegOpenKeyA(std::uintptr_t root, const QString& subKey, std::uintptr_t& key) {
    if (root != kClassesRoot || subKey.compare(QLatin1String(kWordProcessorKey), Qt::CaseInsensitive) != 0) {
        return kStoreFileNotFound;
    }
    key = m_next++;
    m_open.insert(key, subKey);
    return kStoreSuccess;
}

long ProgramConfigurationStore::RegQueryValueA(std::uintptr_t key, const QString& subKey, QString& buffer,
                                               long& size) {
    if (!m_open.contains(key) || !subKey.isEmpty()) return kStoreFileNotFound;
    QString value = m_folder + QLatin1Char('/') + QLatin1String(kPrintProgramName);
    if (value.contains(QLatin1Char(' '))) value = QLatin1Char('"') + value + QLatin1Char('"');
    if (value.size() + 1 > size) return kStoreMoreData;
    buffer = value + QChar(0) + buffer.mid(value.size() + 1);
    size = value.size() + 1;
    return kStoreSuccess;
}

long ProgramConfigurationStore::RegCloseKey(std::uintptr_t key) {
    return m_open.remove(key) ? kStoreSuccess : kStoreFileNotFound;
}

ProcessLauncher::~ProcessLauncher() {
    // Programs still running go on by themselves.
    for (QProcess* process : std::as_const(m_running)) {
        if (process->state() != QProcess::NotRunning) process->waitForFinished(10000);
        delete process;
    }
}

std::int64_t ProcessLauncher::Shell(const QString& commandLine, WindowStyle) {
    QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty()) throw std::runtime_error("File not found");
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setProgram(words.takeFirst());
    process->setArguments(words);
    process->start();
    if (!process->waitForStarted(30000)) {
        throw std::runtime_error(
            ("File not found: " + process->program() + " (" + process->errorString() + ")")
                .toLocal8Bit()
                .toStdString());
    }
    const std::int64_t id = process->processId();
    m_running.insert(id, process.release());
    return id;
}

bool ProcessLauncher::waitForEnd(std::int64_t processId, int milliseconds) {
    QProcess* process = m_running.value(processId);
    if (!process) return true;
    if (process->state() != QProcess::NotRunning && !process->waitForFinished(milliseconds)) return false;
    m_running.remove(processId);
    delete process;
    return true;
}

}  // namespace dorvane::platform
