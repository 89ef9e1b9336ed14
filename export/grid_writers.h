// The module DataGrid1: the walk over every row of the editor's grid, and the writers that turn what
// the grid shows into a CSV, tab-separated or XML file (UTF-8, no byte-order mark, CR LF line ends).
// A file is written beside its target and renamed over it once complete, so a failed export leaves an
// older file of that name as it was (only a folder that takes no new file has it written in place).
#pragma once

#include <QSaveFile>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "export/export_grid.h"
#include "platform/message_box.h"

class QWidget;

namespace dorvane::exporting::DataGrid1 {

// Visits every row of the grid once, in grid order, first to last, making it the grid's current row
// before calling `row`: it scrolls to the first row, then moves down the visible rows a page at a time.
// Stops early when `row` returns false. Afterwards the grid stays on the last page and row visited.
// A failing grid operation raises to the caller.
template <typename Row>
void GridRowWalk(ExportGrid& grid, Row&& row) {
    grid.scrollToFirstRow();
    int k = 0;
    const std::int64_t count = grid.approxCount();
    for (std::int64_t i = 0; i < count; ++i) {
        const int visible = grid.visibleRows();
        if (k >= visible) {
            grid.scroll(0, visible);
            k = 0;
        }
        grid.setRow(k);
        ++k;
        if (!row()) return;
    }
}

// Text written to a file beside `path` as it comes, in UTF-8. Nothing raises until commit(), which
// either replaces the file at `path` with the complete text or raises and leaves `path` untouched.
class TextFileWriter {
public:
    explicit TextFileWriter(const QString& path);
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    void text(QStringView s);
    // `s` with every double quote doubled.
    void csvField(QStringView s);
    // `s` with &, < and > written as entities.
    void xmlText(QStringView s);
    // The same for UTF-8 text, copied as it is (text that is not valid UTF-8 is written as text() would
    // write QString::fromUtf8 of it).
    void utf8Text(std::string_view s) { appendUtf8(s, Escape::None); }
    void utf8CsvField(std::string_view s) { appendUtf8(s, Escape::Csv); }
    void utf8XmlText(std::string_view s) { appendUtf8(s, Escape::Xml); }
    // Bytes copied as they are.
    void ascii(std::string_view s) {
        if (m_used + s.size() > kCapacity) flush();
        if (s.size() > kCapacity) return writeOut(s.data(), s.size());
        std::memcpy(m_buffer.get() + m_used, s.data(), s.size());
        m_used += s.size();
    }
    // True once opening or writing has failed (later text is dropped).
    bool failed() const { return !m_error.isEmpty(); }
    // Raises std::runtime_error naming the failure, or renames the complete file over `path`.
    void commit();

private:
    enum class Escape { None, Csv, Xml };
    static constexpr std::size_t kCapacity = 1 << 20;
    void append(QStringView s, Escape escape);
    void appendUtf8(std::string_view s, Escape escape);
    static bool needsEscape(std::uint64_t fourUnits, Escape escape);
    void flush();
    void writeOut(const char* data, std::size_t size);

    QSaveFile m_file;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    QString m_error;
    std::uint64_t m_written = 0;  // bytes handed to the file
    std::uint64_t m_started = 0;  // bytes whose writing to the disk has been started
};

// Replaces the file at `path` with `text` (UTF-8); raises when it cannot be written, leaving an older
// file whole.
void WriteTextFile(const QString& path, const QString& text);

// `caption` as an XML element name: characters an element name may not hold become "_".
QString xmlElementName(const QString& caption);

// The writers. Each runs under its own error trap (module "Datagrid1"): a failure shows the error
// report box over `owner`, and the caller learns nothing of it. `path` is used as given.
void SaveDataGridToCSVFile(platform::MessageBox& messageBox, ExportGrid& grid, const QString& path,
                           QWidget* owner = nullptr);
void SaveDataGridToFile(platform::MessageBox& messageBox, ExportGrid& grid, const QString& path,
                        QWidget* owner = nullptr);
void SaveDataGridToXMLFile(platform::MessageBox& messageBox, ExportGrid& grid, const QString& path,
                           QWidget* owner = nullptr);

}  // namespace dorvane::exporting::DataGrid1
