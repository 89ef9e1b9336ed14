// Form3 on copies of real tables: what the list window's Next does, then keys, buttons and scripted
// boxes; the files are read back by dbfread and the indexes checked by cdx-check.
#include "editor/editor_window.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "editor/data_grid.h"
#include "editor/editor_statements.h"
#include "editor/identifier_column.h"
#include "platform/fake/fake_platform.h"
#include "provider/ado/connection.h"
#include "tests/support/container_triggers.h"

using namespace dorvane;
using platform::MessageAnswer;

namespace {

const QString kSamples = QStringLiteral(DORVANE_SOURCE_DIR "/Samples/");
const QString kFixtures = QStringLiteral(DORVANE_FIXTURES "/");

// Fields and rows of a table as dbfread reads them (dates as text, NULL as null).
QJsonObject readTable(const QString& dbf) {
    QProcess python;
    python.start("/usr/bin/python3", {"-c", R"(import dbfread, json, sys
t = dbfread.DBF(sys.argv[1], load=False, char_decode_errors='replace')
names = [f.name for f in t.fields if f.name != '_NullFlags']
rows = [[r[n] for n in names] for r in t.records]
print(json.dumps({'fields': names, 'rows': rows}, default=str)))",
                                      dbf});
    python.waitForFinished(60000);
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}
QJsonValue cell(const QJsonObject& table, int row, const QString& field) {
    return table["rows"][row][table["fields"].toArray().toVariantList().indexOf(field.toUpper())];
}
QStringList fields(const QJsonObject& table) {
    return QVariant(table["fields"].toArray().toVariantList()).toStringList();
}
QByteArray bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One run: the fake desktop, a scratch data folder, the session and the editor window.
struct Run {
    platform::FakePlatform fake;
    platform::Platform platform = fake.platform();
    QTemporaryDir dir;
    app::EditingSession session;
    std::unique_ptr<editor::Form3> form3;
    int ends = 0;

    Run() {
        form3 = std::make_unique<editor::Form3>(platform, session);
        form3->setProgramEnd([this] {
            ++ends;
            form3->setGridDataSource(nullptr);
            editor::removeIdentifierColumns(session);
        });
    }
    QString copy(const QString& from, const QStringList& names) {
        for (const QString& name : names) QFile::copy(from + name, dir.filePath(name));
        return dir.filePath(names.front());
    }
    QString plain() const {
        return "Provider=vfpoledb.1;Data Source=" + dir.path() + ";Collating Sequence=general;";
    }
    // What the table-list window's Next does (the copies never hold tempidxxx, so nothing is dropped).
    void open(const QString& table, QString source = {}) {
        source = source.isEmpty() ? dir.path() : source;
        const QString plain =
            "Provider=vfpoledb.1;Data Source=" + source +
            (source.endsWith(".dbc") ? ";Collating Sequence=machine;" : ";Collating Sequence=general;");
        session.SharedConnection = std::make_shared<provider::Connection>();
        session.SharedConnection->CursorLocation = 3;
        session.SharedConnection->Open((plain + "mode=share exclusive;").toStdString());
        session.CurrentTableName = table;
        form3->showEditor();
        form3->setEditingCaption(" Now Editing: " + table);
        form3->setGridDataSource(nullptr);
        session.preparedTables.push_back({plain, table});
        try {
            session.SharedConnection->Execute(editor::addIdentifier(table).toStdString());
            session.SharedConnection->Execute(editor::numberIdentifier(table).toStdString());
        } catch (const std::exception&) {
        }
        provider::Recordset recordset;
        recordset.CursorLocation = 3;
        recordset.Open(editor::gridSelect(table).toStdString(), *session.SharedConnection, 2, 3);
        form3->setGridDataSource(recordset.DataSource());
        const int fieldCount = recordset.DataSource()->columnCount();
        if (fieldCount > 0) form3->setGridColumnWidth(std::min(fieldCount, form3->gridColumnCount()) - 1, 0);
        form3->focusGrid();
    }
    editor::DataGrid1* grid() { return form3->grid(); }
    QLineEdit* text1() { return form3->findChild<QLineEdit*>("Text1"); }
    QPushButton* button(const char* name) { return form3->findChild<QPushButton*>(name); }
    int column(const QString& field) {
        for (int i = 0; i < grid()->columnCount(); ++i)
            if (grid()->columnDataField(i) == field) return i;
        return -1;
    }
    // Types into the cell: the first key starts the edit, the rest goes to the box; then Enter.
    void type(int row, const QString& field, const QString& keys, Qt::Key last = Qt::Key_Return) {
        grid()->setCurrentCell(row, column(field));
        QTest::keyClicks(grid()->view(), keys.left(1));
        QTest::keyClicks(text1(), keys.mid(1));
        QTest::keyClick(text1(), last);
    }
    void ask(const QStringList& answers) {
        for (const QString& a : answers) fake.inputBox.answers.push_back({true, a});
    }
};

const QStringList kCustomers{"customers.dbf", "customers.fpt"};

}  // namespace

class EditorWindowTest : public QObject {
    Q_OBJECT

private slots:
    void openingHidesOnlyTheIdentifierAndStartsAtTheFirstCell() {
        Run run;
        run.copy(kSamples, kCustomers);
        run.open("customers");
        QCOMPARE(run.grid()->columnDataField(run.grid()->columnCount() - 1), QString("tempidxxx"));
        QCOMPARE(run.grid()->columnWidth(run.grid()->columnCount() - 1), 0);
        QCOMPARE(run.grid()->currentRow(), 0);
        QCOMPARE(run.grid()->currentColumn(), 0);
        QCOMPARE(run.form3->mTotalRecords, 300);
        QVERIFY(run.fake.messageBox.shown.empty());
    }

    void cellEditsStoreWhatWasTyped() {
        struct Case {
            const char* name;
            int row;
            const char* field;
            QString keys;
            Qt::Key last;
            QJsonValue stored;
        };
        const Case cases[] = {
            {"letter", 1, "company", "x", Qt::Key_Return, "x"},
            {"letters in a number", 1, "credit", "12abc", Qt::Key_Return, 12.0},
            {"quote", 1, "contact", "O'Brien", Qt::Key_Return, "O'Brien"},
            {"date in the grid's form", 1, "since", "2024-03-05", Qt::Key_Return, "2024-03-05"},
            {"datetime", 1, "lastvisit", "2024-03-05 14:05:00", Qt::Key_Return, "2024-03-05 14:05:00"},
            {"logical", 1, "active", "False", Qt::Key_Return, false},
            {"escape writes nothing", 1, "company", "zz", Qt::Key_Escape, "Northern Handel"},
            {"too long keeps the value", 1, "country", QString(20, 'w'), Qt::Key_Return, "Switzerland"},
            {"impossible date keeps the value", 1, "since", "2024-02-30", Qt::Key_Return, "2014-08-04"},
        };
        for (const Case& c : cases) {
            Run run;
            const QString file = run.copy(kSamples, kCustomers);
            run.open("customers");
            run.type(c.row, c.field, c.keys, c.last);
            QVERIFY2(!run.text1()->isVisible(), c.name);
            const QJsonObject table = readTable(file);
            QVERIFY2(cell(table, c.row, c.field) == c.stored, c.name);
            QCOMPARE(cell(table, 0, c.field), cell(readTable(kSamples + "customers.dbf"), 0, c.field));
            const bool refused = QString(c.name).contains("keeps");
            QVERIFY2(int(run.fake.messageBox.shown.size()) == (refused ? 1 : 0), c.name);
            if (refused)
                QVERIFY2(run.fake.messageBox.texts()[0].contains(
                             "in DorvaneSuite2020/08/02.Form3.Text1_KeyPress at line 106"),
                         c.name);
            if (c.last == Qt::Key_Return) QCOMPARE(run.grid()->currentRow(), 0);
        }
    }

    void leavingTheBoxUnchangedWritesNothingAndMemosKeepLineBreaks() {
        Run run;
        const QString file = run.copy(kSamples, kCustomers);
        run.open("customers");
        for (const char* field : {"phone", "credit", "notes"}) {
            run.grid()->setCurrentCell(2, run.column(field));
            QTest::keyClick(run.grid()->view(), Qt::Key_F2);
            QVERIFY(run.text1()->isVisible());
            run.form3->Text1_LostFocus();
        }
        run.grid()->setCurrentCell(2, run.grid()->columnCount() - 1);  // the hidden identifier
        QTest::keyClicks(run.grid()->view(), "7");
        QVERIFY(!run.text1()->isVisible());
        // A memo keeps its line breaks.
        run.grid()->setCurrentCell(0, run.column("notes"));
        QTest::keyClick(run.grid()->view(), Qt::Key_F2);
        QTest::keyClick(run.text1(), Qt::Key_End);
        QTest::keyClicks(run.text1(), " Done.");
        QTest::keyClick(run.text1(), Qt::Key_Return);
        const QJsonObject table = readTable(file);
        QVERIFY(cell(table, 2, "phone") == cell(readTable(kSamples + "customers.dbf"), 2, "phone"));
        QVERIFY(cell(table, 2, "notes").isNull());
        QCOMPARE(cell(table, 0, "notes").toString(),
                 QString("Key account since the trade fair.\r\nCall before visiting. Done."));
    }

    void twoIdenticalRowsStayApart() {  // in a table whose name holds a blank
        Run run;
        provider::Connection c;
        c.Open(run.plain().toStdString());
        c.Execute("CREATE TABLE \"twin rows\" (name C(10), qty N(5,0))");
        for (int i = 0; i < 2; ++i) c.Execute("insert into [twin rows] (name, qty) values ('same', 1)");
        c.Close();
        run.open("twin rows");
        run.type(1, "name", "x");
        const QJsonObject table = readTable(run.dir.filePath("twin rows.dbf"));
        QCOMPARE(table["rows"].toArray().size(), 2);
        QCOMPARE(cell(table, 0, "name").toString(), QString("same"));
        QCOMPARE(cell(table, 1, "name").toString(), QString("x"));

        run.grid()->setCurrentCell(0, run.column("qty"));
        QTest::keyClick(run.grid()->view(), Qt::Key_Backspace);
        QTest::keyClick(run.text1(), Qt::Key_Backspace);
        QTest::keyClick(run.text1(), Qt::Key_Return);
        QCOMPARE(cell(readTable(run.dir.filePath("twin rows.dbf")), 0, "qty").toDouble(), 0.0);
    }

    void rowsAreAddedAndRemoved() {
        Run run;
        const QString file = run.copy(kSamples, kCustomers);
        run.open("customers");
        run.ask({"301", "Kerry's Shop", "Ann", "Cork", "Ireland", "", "12.5", "2024-03-05", "True", "",
                 "a note"});
        run.button("PushButton9")->click();
        QVERIFY2(run.fake.messageBox.shown.empty(), qPrintable(run.fake.messageBox.texts().join("|")));
        QCOMPARE(run.fake.inputBox.asked[1].prompt, QString("Enter Value of [company]: "));
        QJsonObject table = readTable(file);
        QCOMPARE(table["rows"].toArray().size(), 294);  // 293 live records and the new one
        QCOMPARE(cell(table, 293, "company").toString(), QString("Kerry's Shop"));
        QCOMPARE(cell(table, 293, "since").toString(), QString("2024-03-05"));
        QCOMPARE(cell(table, 293, "active").toBool(), true);
        QCOMPARE(run.form3->mTotalRecords, 301);

        // Cancel at the third box sends nothing.
        run.fake.inputBox.asked.clear();
        run.ask({"1", "2"});
        run.button("PushButton9")->click();
        QCOMPARE(int(run.fake.inputBox.asked.size()), 3);
        QCOMPARE(readTable(file)["rows"].toArray().size(), 294);

        // Remove Row: No keeps the row, Yes deletes the current one only.
        run.grid()->setCurrentCell(1, 1);
        run.fake.messageBox.answers = {MessageAnswer::No, MessageAnswer::Yes};
        run.button("PushButton5")->click();
        QCOMPARE(run.fake.messageBox.shown.back().title, QString("Delete Selected"));
        run.grid()->setCurrentCell(1, 1);
        run.button("PushButton5")->click();
        table = readTable(file);
        QCOMPARE(table["rows"].toArray().size(), 293);
        QCOMPARE(cell(table, 1, "company").toString(), QString("Royal Délicatesses"));
    }

    void columnsAreAddedRenamedAndRemoved() {
        Run run;
        const QString file = run.copy(kSamples, {"products.dbf", "products.fpt"});
        run.open("products");
        auto last = [&](int n) {
            const QStringList names = fields(readTable(file));
            return names.mid(names.size() - n);
        };
        run.ask({"Notes"});
        run.button("PushButton8")->click();
        QCOMPARE(last(2), QStringList({"NOTES", "TEMPIDXXX"}));
        QCOMPARE(run.grid()->columnDataField(run.grid()->columnCount() - 2), QString("notes"));

        run.grid()->setCurrentCell(0, run.column("name"));
        run.ask({"LongerName12"});
        run.button("PushButton2")->click();
        QVERIFY(fields(readTable(file)).contains("LONGERNA"));

        run.grid()->setCurrentCell(0, run.column("price"));
        run.ask({"weight"});  // a name the table already has
        run.button("PushButton2")->click();
        QVERIFY(run.fake.messageBox.texts().join("").contains(
            "Form3.PushButton2_Click at line 116\r\rPlease email screenshot of this message to "
            "support@kellmark.example\rsql: "
            "ALTER TABLE [products] RENAME COLUMN [price] TO [weight]"));
        QCOMPARE(last(1), QStringList({"TEMPIDXXX"}));

        run.fake.messageBox.shown.clear();
        run.fake.messageBox.answers = {MessageAnswer::No, MessageAnswer::Yes};
        for (int press = 0; press < 2; ++press) {
            run.grid()->setCurrentCell(0, run.column("category"));
            run.button("PushButton7")->click();
        }
        QVERIFY(!fields(readTable(file)).contains("CATEGORY"));
        QCOMPARE(run.fake.messageBox.shown[0].text, QString("Are you sure you want to remove category?"));

        // The hidden column: the rebuild reports the drop it cannot make, then adds and numbers it again.
        run.fake.messageBox.shown.clear();
        run.grid()->setCurrentCell(0, run.grid()->columnCount() - 1);
        run.button("PushButton7")->click();
        QCOMPARE(int(run.fake.messageBox.shown.size()), 2);
        QVERIFY(run.fake.messageBox.shown[1].text.contains("Form3.createTemporaryField at line 112"));
        QCOMPARE(last(1), QStringList({"TEMPIDXXX"}));
        QCOMPARE(cell(readTable(file), 199, "tempidxxx").toInt(), 200);
        QCOMPARE(run.form3->mTotalRecords, 200);
    }

    void everyPreparedTableLosesItsIdentifierAtTheEnd() {
        for (bool quit : {true, false}) {
            Run run;
            run.copy(kSamples, kCustomers);
            run.copy(kSamples, {"products.dbf", "products.fpt"});
            run.open("customers");
            run.button("PushButton1")->click();
            QVERIFY(!run.form3->isVisible());
            run.open("products");
            if (quit) {
                run.button("PushButton3")->click();
            } else {
                run.form3->close();
            }
            QCOMPARE(run.ends, 1);
            QVERIFY2(run.fake.messageBox.shown.empty(), qPrintable(run.fake.messageBox.texts().join("|")));
            for (const char* table : {"customers.dbf", "products.dbf"}) {
                QVERIFY2(!fields(readTable(run.dir.filePath(table))).contains("TEMPIDXXX"), table);
            }
        }
    }

    // Triggers only FoxPro can run are told once per table; a table without them opens without a word.
    void foxproOnlyTriggersAreToldOncePerTable() {
        Run run;
        run.copy(kFixtures + "foxprodb/", QDir(kFixtures + "foxprodb/").entryList(QDir::Files));
        const QString dbc = run.dir.filePath("FOXPRO-DB-TEST.DBC");
        test::setTriggers(dbc.toStdString(), "setup", {{14, "audit_insert()"}, {16, "__ri_delete_setup()"}});
        for (const char* table : {"setup", "setup", "types"}) run.open(table, dbc);
        QCOMPARE(run.fake.messageBox.texts(),
                 QStringList{"The table setup has triggers that only FoxPro can run:\r\r    insert trigger: "
                             "audit_insert()\r\rChanges you make here are saved without running them."});
        QCOMPARE(run.fake.messageBox.shown[0].title, run.fake.messageBox.applicationTitle());
    }

    void aTableThatCannotChangeIsShownForReading() {
        Run run;
        const QString file =
            run.copy(kFixtures + "general/", {"fb2p_free.dbf", "fb2p_free.cdx", "fb2p_free.fpt"});
        const QByteArray before = bytes(file);
        run.open("fb2p_free");
        QVERIFY(run.grid()->columnDataField(run.grid()->columnCount() - 1) != "tempidxxx");
        QVERIFY(run.grid()->columnWidth(run.grid()->columnCount() - 1) > 0);
        QVERIFY(run.fake.messageBox.shown.empty());
        QVERIFY(!run.button("PushButton9")->isEnabled());
        for (int attempt = 0; attempt < 2; ++attempt) {
            run.grid()->setCurrentCell(0, 0);
            QTest::keyClicks(run.grid()->view(), "x");
        }
        QVERIFY(!run.text1()->isVisible());
        QCOMPARE(int(run.fake.messageBox.shown.size()), 1);
        QVERIFY2(run.fake.messageBox.shown[0].text.contains("fb2p_free.cdx"),
                 qPrintable(run.fake.messageBox.texts()[0]));
        run.button("PushButton3")->click();  // nothing to remove, nothing reported
        QCOMPARE(int(run.fake.messageBox.shown.size()), 1);
        QVERIFY(bytes(file) == before);
    }
};
QTEST_MAIN(EditorWindowTest)
#include "editor_window_test.moc"
