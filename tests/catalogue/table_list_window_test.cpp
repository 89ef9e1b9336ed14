// The table-list window and the new-table designer, driven through the scripted desktop over real
// tables in scratch folders; a designed table read back by python3-dbf and judged by cdx-check.
#include "catalogue/table_list_window.h"

#include <sys/file.h>

#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/connection_window.h"
#include "catalogue/new_table_statement.h"
#include "catalogue/new_table_window.h"
#include "platform/fake/fake_platform.h"
#include "provider/ado/recordset.h"
#include "tests/support/cdx_check.h"

using namespace dorvane;

namespace {

// What Next does to the editor, as a list of calls.
struct EditorDouble final : app::EditorStep {
    QStringList calls;
    int columns = 0;
    void showEditor() override { calls << "show"; }
    void setEditingCaption(const QString& text) override { calls << text; }
    void setGridDataSource(std::shared_ptr<provider::RowSource> rows) override {
        columns = rows ? rows->columnCount() : 0;
        calls << (rows ? "bind" : "unbind");
    }
    int gridColumnCount() const override { return columns; }
    void setGridColumnWidth(int column, int width) override {
        calls << QString("%1:%2").arg(column).arg(width);
    }
    void focusGrid() override { calls << "focus"; }
};

// One run over a scratch folder of tables.
struct Run {
    platform::FakePlatform fake;
    platform::Platform platform = fake.platform();
    QTemporaryDir folder;
    app::EditingSession session;
    app::Form1 form1{platform};
    catalogue::Form2 form2{platform, form1, session};

    explicit Run(const QStringList& tables = {"orders", "items"}) {
        form1.setTableListStep(&form2);
        form1.setFolderText(folder.path());
        for (const QString& t : tables) create(t);
        form2.showStep();
    }
    void create(const QString& table) {
        provider::Connection c;
        c.Open(form1.connectionString(app::ConnectionVariant::Plain).toStdString());
        c.Execute(("CREATE TABLE '" + folder.path() + "/" + table + ".dbf'(name M)").toStdString());
    }
    QListWidget* list(QWidget* w) { return w->findChild<QListWidget*>("List1"); }
    QStringList names(QWidget* w) {
        QStringList out;
        for (int i = 0; i < list(w)->count(); ++i) out << list(w)->item(i)->text();
        return out;
    }
    int selected(QWidget* w) { return list(w)->selectedItems().isEmpty() ? -1 : list(w)->currentRow(); }
    void click(QWidget* w, const char* name) { w->findChild<QPushButton*>(name)->click(); }
};

// "name:type" of each field, in order, as python3-dbf reads the table.
QString fieldsByPythonDbf(const QString& table) {
    QProcess python;
    python.start("/usr/bin/python3", {"-c",
                                      "import dbf,sys; t=dbf.Table(sys.argv[1]); t.open(); print(','.join("
                                      "n+':'+chr(t.field_info(n)[0]) for n in t.field_names))",
                                      table});
    python.waitForFinished();
    return QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError()).trimmed();
}

}  // namespace

class TableListWindowTest : public QObject {
    Q_OBJECT

private slots:
    void loadListsTablesAndSelectsTheFirst() {
        Run run, empty(QStringList{});
        QCOMPARE(run.names(&run.form2).size(), 2);
        QCOMPARE(run.selected(&run.form2), 0);
        QVERIFY(empty.names(&empty.form2).isEmpty() && empty.fake.messageBox.shown.empty());
        // A source that cannot be listed: one report, and the list keeps what it had.
        run.form1.setFolderText(run.folder.path() + "/gone");
        run.form2.reloadStep();
        QCOMPARE(run.fake.messageBox.shown.size(), size_t(1));
        QVERIFY(run.names(&run.form2).size() == 2 && run.form2.isEnabled());
    }

    void nextAndDeleteNeedASelectionAndCancelledDesignRelists() {
        Run run;
        run.list(&run.form2)->clearSelection();
        run.click(&run.form2, "PushButton5");
        run.click(&run.form2, "PushButton3");
        QCOMPARE(run.fake.messageBox.texts(), QStringList{"Please select a table"});
        QVERIFY(run.session.SharedConnection->state() == 0 && run.form2.isVisible());
        // Cancelling the designer still rebuilds the list and selects the first entry.
        run.create("later");
        run.click(&run.form2, "PushButton4");
        QCOMPARE(run.fake.windows.shownWindows, QStringList{"frmNewTable"});
        QVERIFY(run.names(&run.form2).size() == 3 && run.selected(&run.form2) == 0);
    }

    void nextHandsTheTableToTheEditorAndBackKeepsTheList() {
        Run run;
        EditorDouble editor;
        run.form2.setEditorStep(&editor);
        run.list(&run.form2)->setCurrentRow(1);
        const QString table = run.names(&run.form2)[1];
        run.click(&run.form2, "PushButton3");
        run.click(&run.form2, "PushButton3");  // the same table again is recorded once
        QVERIFY(run.fake.messageBox.shown.empty());
        QCOMPARE(editor.calls.mid(0, 6),
                 QStringList({"show", " Now Editing: " + table, "unbind", "bind", "1:0", "focus"}));
        QCOMPARE(run.session.CurrentTableName, table);
        QCOMPARE(run.session.preparedTables.size(), size_t(1));
        QVERIFY(!run.form2.isVisible());

        // The editor's Back shows the list as it was; the connection window's Next rebuilds it.
        run.create("later");
        run.form2.showStep();
        QVERIFY(run.names(&run.form2).size() == 2 && run.selected(&run.form2) == 1);
        run.form1.PushButton3_Click();
        QVERIFY(run.names(&run.form2).size() == 3 && run.selected(&run.form2) == 0);
    }

    void deleteAsksThenDropsOrKeepsTheEntry() {
        Run run;
        const QString first = run.names(&run.form2)[0], second = run.names(&run.form2)[1];
        run.fake.messageBox.answers = {platform::MessageAnswer::No};
        run.click(&run.form2, "PushButton5");
        QCOMPARE(run.fake.messageBox.shown[0].text, "Are you sure you want to delete " + first + "?");
        QCOMPARE(run.fake.messageBox.shown[0].title, QString("Delete Table"));
        QVERIFY(run.names(&run.form2).size() == 2 && run.session.SharedConnection->state() == 0);

        // Held open by another program: the provider's message, and the entry stays.
        run.list(&run.form2)->setCurrentRow(1);
        QFile held(run.folder.path() + "/" + second + ".dbf");
        QVERIFY(held.open(QIODevice::ReadOnly) && ::flock(held.handle(), LOCK_SH) == 0);
        run.click(&run.form2, "PushButton5");
        QVERIFY(run.fake.messageBox.shown.back().text.startsWith("File is in use by another user."));
        QCOMPARE(run.names(&run.form2).size(), 2);
        held.close();
        run.click(&run.form2, "PushButton5");
        QVERIFY(run.names(&run.form2) == QStringList{first} && run.selected(&run.form2) == -1);
        QVERIFY(!QFile::exists(held.fileName()));
    }

    void designerAddsDeletesAndMovesFields() {
        Run run;
        catalogue::frmNewTable designer(run.platform, run.form1);
        for (const char* answer : {"last name", "customer address", "  ", "id", ""}) {
            run.fake.inputBox.answers.push_back({*answer != 0, answer});
            run.click(&designer, "PushButton6");
        }
        QCOMPARE(run.names(&designer), QStringList({"lastname", "customer", "", "id"}));
        // Up at the top and down at the bottom change nothing; a moved entry stays selected.
        run.list(&designer)->setCurrentRow(0);
        for (const char* button :
             {"PushButton4", "PushButton5", "PushButton5", "PushButton5", "PushButton5"}) {
            run.click(&designer, button);
        }
        QCOMPARE(run.names(&designer), QStringList({"customer", "", "id", "lastname"}));
        run.click(&designer, "PushButton4");
        QVERIFY(run.names(&designer) == QStringList({"customer", "", "lastname", "id"}) &&
                run.selected(&designer) == 2);
        run.list(&designer)->setCurrentRow(1);
        run.click(&designer, "PushButton1");
        QVERIFY(run.names(&designer) == QStringList({"customer", "lastname", "id"}) &&
                run.selected(&designer) == -1);
    }

    void designerSaveRefusesWhatItMustAndStaysOpen() {
        const struct {
            const char* name;
            QStringList fields;
            QString box;  // the start of the box text; "" for none
        } cases[] = {
            {"", {"a"}, ""},
            {"fresh", {}, ""},
            {"ORDERS", {"a"}, "Table already exists."},
            {"fresh", {"a", "a"}, "Field name is a duplicate or invalid."},
            {"fresh", {"a", ""}, "Command contains unrecognized phrase/keyword."},
            {"sub/fresh", {"a"}, "Invalid path or file name."},
            {"sub\\fresh", {"a"}, "Invalid path or file name."},
        };
        for (const auto& c : cases) {
            Run run({"orders"});
            QDir(run.folder.path()).mkdir("sub");
            catalogue::frmNewTable designer(run.platform, run.form1);
            designer.show();
            designer.findChild<QLineEdit*>("txtName")->setText(c.name);
            run.list(&designer)->addItems(c.fields);
            run.click(&designer, "PushButton2");
            const QString box = run.fake.messageBox.texts().join("");
            QVERIFY2(c.box.isEmpty() ? box.isEmpty() : box.startsWith(c.box),
                     qPrintable(c.name + (": " + box)));
            QVERIFY2(designer.isVisible() && run.names(&designer) == c.fields, c.name);
            QCOMPARE(QDir(run.folder.path()).entryList(QDir::Files).size() +
                         QDir(run.folder.path() + "/sub").count(),
                     4);
        }
    }

    // Designed through the windows into a folder and into a container, then deleted again.
    void designedTableIsCreatedListedAndDropped() {
        if (!test::cdxCheckAvailable()) QSKIP("cdx-check is not beside the source tree");
        for (const bool container : {false, true}) {
            Run run(QStringList{});
            for (const char* ext : {"DBC", "DCT", "DCX"})
                QFile::copy(QString(DORVANE_FIXTURES "/foxprodb/FOXPRO-DB-TEST.") + ext,
                            run.folder.path() + "/c." + ext);
            const std::string dbc = (run.folder.path() + "/c.DBC").toStdString();
            run.form1.OptionDBC1 = container;
            run.form1.DBCPath1 = QString::fromStdString(dbc);
            run.form2.showStep();
            run.fake.inputBox.answers = {{true, "first name"}, {true, "notes"}, {true, "age"}};
            run.fake.windows.scripts.push_back([&](QDialog& designer) {
                designer.findChild<QLineEdit*>("txtName")->setText("people");
                for (int i = 0; i < 3; ++i) run.click(&designer, "PushButton6");
                run.click(&designer, "PushButton2");
                return designer.result();
            });
            run.form2.PushButton4_Click();
            QCOMPARE(run.names(&run.form2).count("people"), 1);
            QCOMPARE(fieldsByPythonDbf(run.folder.path() + "/people.DBF"),
                     QString("firstnam:M,notes:M,age:M"));
            QVERIFY(!container || test::runCdxCheck(dbc).exitCode == 0);
            run.list(&run.form2)
                ->setCurrentItem(run.list(&run.form2)->findItems("people", Qt::MatchExactly)[0]);
            run.form2.PushButton5_Click();
            QVERIFY(!QFile::exists(run.folder.path() + "/people.DBF"));
            QVERIFY(!container || test::runCdxCheck(dbc).exitCode == 0);
            run.form2.reloadStep();
            QVERIFY(!run.names(&run.form2).contains("people"));
            QCOMPARE(run.fake.messageBox.texts(), QStringList{"Are you sure you want to delete people?"});
        }
    }
};

QTEST_MAIN(TableListWindowTest)
#include "table_list_window_test.moc"
