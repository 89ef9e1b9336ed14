#include "platform/qt/xlsx_automation.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <algorithm>
#include <stdexcept>
#include <vector>

namespace dorvane::platform {
namespace {

constexpr char kXlsxType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
constexpr int kMaxCellText = 32767;  // the most characters a cell holds
constexpr double kMaxColumnWidth = 80;

QStringList dataDirs() {
    QStringList dirs{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty()) system = QStringLiteral("/usr/local/share:/usr/share");
    dirs += system.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

QString findDesktopEntry(const QString& id) {
    for (const QString& dir : dataDirs()) {
        const QString path = dir + QStringLiteral("/applications/") + id;
        if (QFile::exists(path)) return path;
    }
    return QString();
}

// The Exec command of a .desktop entry with its field codes replaced by the file.
QStringList execCommand(const QString& entry, const QString& file) {
    QSettings desktop(entry, QSettings::IniFormat);
    QStringList words =
        QProcess::splitCommand(desktop.value(QStringLiteral("Desktop Entry/Exec")).toString());
    bool placed = false;
    for (QString& word : words) {
        for (const char* code : {"%f", "%F", "%u", "%U"}) {
            if (word.contains(QLatin1String(code))) {
                word.replace(QLatin1String(code), file);
                placed = true;
            }
        }
    }
    words.erase(
        std::remove_if(words.begin(), words.end(),
                       [](const QString& w) { return w.size() == 2 && w.startsWith(QLatin1Char('%')); }),
        words.end());
    if (!placed) words << file;
    return words;
}

class XlsxWorkbook final : public SpreadsheetWorkbook {
public:
    explicit XlsxWorkbook(const QString& path) : m_path(path) {
        const QByteArray tmp = QFile::encodeName(QDir::tempPath());
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = const_cast<char*>(tmp.constData());
        m_book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
        if (!m_book) throw std::runtime_error("The workbook cannot be created.");
        m_sheet = workbook_add_worksheet(m_book, nullptr);
        if (!m_sheet) throw std::runtime_error("The worksheet cannot be created.");
    }
    ~XlsxWorkbook() override {
        if (m_book) {
            workbook_close(m_book);
            QFile::remove(m_path);
        }
    }
    void setCells(int row, int column, const QString& text) override { write(row, column, text); }
    void setCellsValue(int row, int column, const QString& text) override { write(row, column, text); }
    void ColumnsAutofit() override {
        for (std::size_t c = 0; c < m_widths.size(); ++c) {
            if (m_widths[c] > 0) {
                worksheet_set_column(m_sheet, lxw_col_t(c), lxw_col_t(c),
                                     std::min(m_widths[c] + 1.5, kMaxColumnWidth), nullptr);
            }
        }
    }
    int sheetRows() const override { return LXW_ROW_MAX; }

    // Writes the file; true when it is complete.
    bool finish() {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        return error == LXW_NO_ERROR;
    }
    const QString& path() const { return m_path; }

private:
    void write(int row, int column, const QString& text) {
        if (!m_book) throw std::runtime_error("The workbook is closed.");
        if (row < 1 || column < 1 || row > LXW_ROW_MAX || column > LXW_COL_MAX) {
            throw std::runtime_error("Application-defined or object-defined error");
        }
        const lxw_row_t r = lxw_row_t(row - 1);
        const lxw_col_t c = lxw_col_t(column - 1);
        lxw_error error = LXW_NO_ERROR;
        if (text.isEmpty()) return;
        if (isWellFormedNumber(text)) {
            error = worksheet_write_number(m_sheet, r, c, text.toDouble(), nullptr);
        } else {
            error =
                worksheet_write_string(m_sheet, r, c, text.left(kMaxCellText).toUtf8().constData(), nullptr);
        }
        if (error != LXW_NO_ERROR) throw std::runtime_error(lxw_strerror(error));
        if (std::size_t(column) > m_widths.size()) m_widths.resize(column, 0);
        // The widest line of the text, in characters.
        qsizetype widest = 0, start = 0;
        while (start <= text.size()) {
            qsizetype end = text.indexOf(QLatin1Char('\n'), start);
            if (end < 0) end = text.size();
            widest = std::max(widest, end - start);
            start = end + 1;
        }
        m_widths[column - 1] = std::max(m_widths[column - 1], double(widest));
    }

    QString m_path;
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    std::vector<double> m_widths;
};

class XlsxApplication final : public SpreadsheetApplication {
public:
    XlsxApplication(QString folder, std::function<bool(const QString&)> open)
        : m_folder(std::move(folder)), m_open(std::move(open)) {}
    SpreadsheetWorkbook& WorkbooksAdd() override {
        QTemporaryFile name(m_folder + QStringLiteral("/Dorvane Table XXXXXX.xlsx"));
        name.setAutoRemove(false);
        if (!name.open())
            throw std::runtime_error("The workbook cannot be created in " + m_folder.toStdString());
        const QString path = name.fileName();
        name.close();
        m_books.push_back(std::make_unique<XlsxWorkbook>(path));
        return *m_books.back();
    }
    void setVisible(bool value) override {
        if (!value) return;
        // Shown workbooks belong to the user from now on.
        for (auto& book : m_books) {
            const QString path = book->path();
            if (!book->finish()) throw std::runtime_error("The workbook cannot be written.");
            book.reset();
            if (!m_open(path)) throw std::runtime_error("The spreadsheet program cannot be started.");
        }
        m_books.clear();
    }
    void Quit() override { m_books.clear(); }

private:
    QString m_folder;
    std::function<bool(const QString&)> m_open;
    std::vector<std::unique_ptr<XlsxWorkbook>> m_books;
};

}  // namespace

QString registeredSpreadsheetProgram() {
    QStringList listFolders{QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)};
    for (const QString& dir : dataDirs()) listFolders << dir + QStringLiteral("/applications");
    for (const QString& folder : listFolders) {
        QSettings lists(folder + QStringLiteral("/mimeapps.list"), QSettings::IniFormat);
        for (const char* group : {"Default Applications", "Added Associations"}) {
            const QStringList ids =
                lists.value(QLatin1String(group) + '/' + kXlsxType).toString().split(';', Qt::SkipEmptyParts);
            for (const QString& id : ids) {
                const QString entry = findDesktopEntry(id.trimmed());
                if (!entry.isEmpty()) return entry;
            }
        }
    }
    for (const QString& dir : dataDirs()) {
        QDirIterator it(dir + QStringLiteral("/applications"), {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString entry = it.next();
            QSettings desktop(entry, QSettings::IniFormat);
            const QVariant types = desktop.value(QStringLiteral("Desktop Entry/MimeType"));
            const QString text =
                types.typeId() == QMetaType::QStringList ? types.toStringList().join(';') : types.toString();
            if (text.split(QLatin1Char(';')).contains(QLatin1String(kXlsxType))) return entry;
        }
    }
    return QString();
}

bool openWithDesktop(const QString& path) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) return QProcess::startDetached(opener, {path});
    const QString entry = registeredSpreadsheetProgram();
    if (entry.isEmpty()) return false;
    QStringList command = execCommand(entry, path);
    if (command.isEmpty()) return false;
    const QString program = command.takeFirst();
    return QProcess::startDetached(program, command);
}

bool isWellFormedNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digit = [&](qsizetype k) {
        return k < n && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9');
    };
    if (i < n && text[i] == QLatin1Char('-')) ++i;
    if (!digit(i)) return false;
    const qsizetype intStart = i;
    while (digit(i)) ++i;
    if (i - intStart > 1 && text[intStart] == QLatin1Char('0')) return false;
    int significant = int(i - intStart);
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        if (!digit(i)) return false;
        const qsizetype fracStart = i;
        while (digit(i)) ++i;
        significant += int(i - fracStart);
    }
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
        if (!digit(i)) return false;
        while (digit(i)) ++i;
    }
    return i == n && significant <= 15;
}

XlsxAutomation::XlsxAutomation(QString folder, std::function<bool()> registered,
                               std::function<bool(const QString&)> open)
    : m_folder(std::move(folder)), m_registered(std::move(registered)), m_open(std::move(open)) {}

XlsxAutomation::XlsxAutomation()
    : XlsxAutomation(
          QDir::tempPath(), [] { return !registeredSpreadsheetProgram().isEmpty(); }, openWithDesktop) {}

std::unique_ptr<SpreadsheetApplication> XlsxAutomation::CreateObject(const QString& progId) {
    if (progId != QLatin1String("Excel.Application") || !m_registered()) {
        throw std::runtime_error("ActiveX component can't create object");
    }
    return std::make_unique<XlsxApplication>(m_folder, m_open);
}

}  // namespace dorvane::platform
