// Real tables for the export tests, made through the provider in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <string>

#include "provider/ado/connection.h"

namespace dorvane::exporting::testing {

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What Debian's python3 prints for `args`; a failed run fails the test.
inline QByteArray pythonOutput(const QStringList& args) {
    QProcess python;
    python.start("/usr/bin/python3", args);
    EXPECT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return python.readAllStandardOutput();
}

// A line break, a comma, double and single quotes, &, < and > in one memo.
inline const std::string kOddMemo = "line one\r\ntwo, \"quoted\" & <tag> 'it'";

class ScratchTables {
public:
    ScratchTables() {
        m_connection.Open("Provider=vfpoledb.1;Data Source=" + folder().toStdString() +
                          ";Collating Sequence=general");
    }
    QString folder() const { return m_dir.path(); }
    provider::Connection& connection() { return m_connection; }
    void run(const std::string& statement) { m_connection.Execute(statement); }

    // A, B and the rows (x, 1) and (y, NULL).
    void example() {
        run("CREATE TABLE ex (A C(5), B N(5) NULL)");
        run("INSERT INTO ex VALUES ('x', 1)");
        run("INSERT INTO ex VALUES ('y', NULL)");
    }
    // A memo with kOddMemo, a number, a date and a logical; then a row of NULLs.
    void oddTexts() {
        run("CREATE TABLE odd (note M NULL, n N(10,2) NULL, d D NULL, l L)");
        run("INSERT INTO odd VALUES ([" + kOddMemo + "], 3.5, {^2024-01-31}, .T.)");
        run("INSERT INTO odd VALUES (NULL, NULL, NULL, .F.)");
    }
    // Columns name, qty and price over `rows` rows: ("name<i>", i, i + 0.25).
    void numbered(const std::string& table, int rows) {
        run("CREATE TABLE " + table + " (name C(12), qty I, price N(12,2))");
        for (int i = 1; i <= rows; ++i) {
            run("INSERT INTO " + table + " VALUES ('name" + std::to_string(i) + "', " + std::to_string(i) +
                ", " + std::to_string(i) + ".25)");
        }
    }

private:
    QTemporaryDir m_dir;
    provider::Connection m_connection;
};

}  // namespace dorvane::exporting::testing
