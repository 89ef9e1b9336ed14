// Real tables for the export tests, made in a scratch folder, each with the row identifier last as the
// editor keeps it, and shown in the editor's own grid.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "editor/data_grid.h"
#include "editor/editor_statements.h"
#include "platform/fake/fake_platform.h"
#include "provider/ado/connection.h"
#include "provider/format/table.h"

namespace dorvane::exporting::testing {

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What Debian's python3 prints for `args`; a failed run fails the test.
inline QByteArray pythonOutput(const QStringList& args) {
    QProcess python;
    python.start("/usr/bin/python3", args);
    EXPECT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0)
        << python.readAllStandardError().data();
    return python.readAllStandardOutput();
}

// A line break, a comma, double and single quotes, &, < and > in one memo.
inline const std::string kOddMemo = "line one\r\ntwo, \"quoted\" & <tag> 'it'";

// A scratch folder of tables, the scripted desktop and the editor's grid.
struct ScratchTables {
    QTemporaryDir dir;
    QString folder = dir.path();
    provider::Connection connection;
    platform::FakePlatform fake;

    ScratchTables() {
        static int argc = 1;
        static char name[] = "export_tests", *argv[] = {name, nullptr};
        if (!qApp) new QApplication(argc, argv);
        connection.Open("Provider=vfpoledb.1;Data Source=" + folder.toStdString() +
                        ";Collating Sequence=general");
    }
    // ex: a and b with the rows (x, 1) and (y, NULL); empty: no rows; odd: a memo with kOddMemo, a number,
    // a date, a datetime and a logical, then a row of NULLs.
    void examples() {
        for (const std::string& statement : std::vector<std::string>{
                 "CREATE TABLE ex (a C(5), b N(5) NULL, tempidxxx I NULL)",
                 "INSERT INTO ex VALUES ('x', 1, 1)", "INSERT INTO ex VALUES ('y', NULL, 2)",
                 "CREATE TABLE empty (a C(5), b N(5) NULL, tempidxxx I NULL)",
                 "CREATE TABLE odd (note M NULL, n N(10,2) NULL, d D NULL, t T NULL, l L, tempidxxx I NULL)",
                 "INSERT INTO odd VALUES ([" + kOddMemo +
                     "], 3.5, {^2024-03-05}, {^2024-03-05 14:05:00}, .T., 1)",
                 "INSERT INTO odd VALUES (NULL, NULL, NULL, NULL, .F., 2)"})
            connection.Execute(statement);
    }
    // name, qty and price over `rows` rows: ("name<i>", i, i + 0.25), identifiers from 1000001 on.
    void numbered(const std::string& table, int rows) {
        std::vector<provider::FieldSpec> fields(4);
        fields[0].name = "name", fields[0].type = 'C', fields[0].width = 12;
        fields[1].name = "qty", fields[1].type = 'I';
        fields[2].name = "price", fields[2].type = 'N', fields[2].width = 12, fields[2].decimals = 2;
        fields[3].name = "tempidxxx", fields[3].type = 'I';
        auto made = provider::Table::create((folder + '/' + table.c_str() + ".dbf").toStdString(), fields);
        for (int i = 1; i <= rows; ++i)
            made->appendValues(
                {"name" + std::to_string(i), std::int64_t(i), i + 0.25, std::int64_t(i + 1000000)});
    }
    // The editor's grid over `table`, showing about `visibleRows` rows at once.
    std::unique_ptr<editor::DataGrid1> grid(const std::string& table, int visibleRows = 25) {
        auto grid = std::make_unique<editor::DataGrid1>();
        grid->setDataSource(
            connection.query(editor::gridSelect(QString::fromStdString(table)).toStdString()));
        grid->resize(600, (visibleRows + 2) * grid->view()->verticalHeader()->defaultSectionSize() + 4);
        grid->show();
        return grid;
    }
};

}  // namespace dorvane::exporting::testing
