// The connection window and the advanced options window, driven through the scripted desktop. Most
// checks compare the state line of Run::state().
#include "app/connection_window.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/advanced_options_window.h"
#include "app/wizard.h"
#include "platform/fake/fake_platform.h"

using namespace dorvane;
using platform::Pointer;

namespace {

// The table-list window as the connection window sees it: shown, and asked to rebuild its list.
class TableListDouble final : public QWidget, public app::TableListStep {
public:
    void showStep() override { show(); }
    void reloadStep() override { ++reloads; }
    int reloads = 0;
};

// One run of the program: the fake desktop, the connection window and the table-list step.
struct Run {
    platform::FakePlatform fake;
    platform::Platform platform = fake.platform();
    QTemporaryDir programFolder, data;
    std::unique_ptr<app::Form1> form1;
    TableListDouble form2;

    explicit Run(const QString& folder = {}) {
        fake.environment.folder = folder.isEmpty() ? programFolder.path() : folder;
        form1 = std::make_unique<app::Form1>(platform);
        form1->setTableListStep(&form2);
    }
    QString setting(const char* key) { return fake.settings.get("Kellmark", "Dorvane Table Suite", key); }
    void store(const char* key, const QString& value) {
        fake.settings.save("Kellmark", "Dorvane Table Suite", key, place(value));
    }
    QLineEdit* text2() { return form1->findChild<QLineEdit*>("Text2"); }
    void click(const char* name) { form1->findChild<QPushButton*>(name)->click(); }
    // "<program>", "<data>" and "<dbc>" (a copy of a real container in <data>) in a text.
    QString place(QString text) {
        if (text.contains("<dbc>"))
            for (const char* ext : {"DBC", "DCT", "DCX"})
                QFile::copy(QString(DORVANE_FIXTURES "/foxprodb/FOXPRO-DB-TEST.") + ext,
                            data.path() + "/FOXPRO-DB-TEST." + ext);
        return text.replace("<dbc>", "<data>/FOXPRO-DB-TEST.DBC")
            .replace("<program>", programFolder.path())
            .replace("<data>", data.path());
    }
    // Which windows show, the container option and FoxproOption, the folder box, the container
    // path, and the texts of the boxes shown so far.
    QString state() {
        QString line = QString("%1 %2 dbc=%3 option=%4 text2=%5 dbcpath=%6 boxes=%7")
                           .arg(form1->isVisible() ? "form1" : "-", form2.isVisible() ? "list" : "-")
                           .arg(form1->OptionDBC1)
                           .arg(setting("FoxproOption"), text2()->text(), form1->DBCPath1,
                                fake.messageBox.texts().join("|"));
        return line.replace(data.path(), "<data>").replace(programFolder.path(), "<program>");
    }
    Pointer moveOver(QWidget* widget) {
        const QPointF at(2, 2);
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
        return fake.pointer.get(form1.get());
    }
};

}  // namespace

class ConnectionWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startUpFollowsTheStoredSource() {
        const struct {
            const char *folder, *option, *dbc, *state;
        } cases[] = {
            {"", "", "", "form1 - dbc=1 option= text2= dbcpath= boxes="},  // first run
            {"<data>", "", "", "- list dbc=0 option=2 text2=<data> dbcpath= boxes="},
            {"<data>/gone", "", "", "form1 - dbc=0 option=2 text2=<data>/gone dbcpath= boxes="},
            {"", "1", "<dbc>", "- list dbc=1 option=1 text2= dbcpath=<data>/FOXPRO-DB-TEST.DBC boxes="},
            {"<data>", "1", "/nowhere/shop.dbc",
             "- list dbc=0 option=2 text2=<data> dbcpath=/nowhere/shop.dbc boxes="},
        };
        for (const auto& c : cases) {
            Run run;
            if (*c.folder) run.store("FreeTableFolder", c.folder);
            if (*c.option) run.store("FoxproOption", c.option);
            if (*c.dbc) run.store("DBCFile", c.dbc);
            run.form1->startUp();
            QCOMPARE(run.state(), QString(c.state));
            QCOMPARE(run.form1->windowTitle(), QString("Dorvane Table Suite"));
            QCOMPARE(run.fake.messageBox.applicationTitle(), QString("Dorvane Table"));
        }
    }

    void folderTextChangeRule() {
        Run run;
        run.form1->OptionDBC1 = true;
        run.text2()->setText("/data/tables ");
        QCOMPARE(run.state(), QString("- - dbc=0 option=2 text2=/data/tables  dbcpath= boxes="));
        QCOMPARE(run.setting("FreeTableFolder"), QString("/data/tables "));
        // Clearing the box stores the empty text and switches nothing.
        run.store("FoxproOption", "1");
        run.form1->OptionDBC1 = true;
        run.text2()->setText("");
        QCOMPARE(run.state(), QString("- - dbc=1 option=1 text2= dbcpath= boxes="));
        QVERIFY(run.fake.settings.values.contains("Kellmark/Dorvane Table Suite/FreeTableFolder"));
        // The path passes into the connection string unchanged.
        run.text2()->setText("/data/tables\\ ");
        QCOMPARE(
            run.form1->connectionString(app::ConnectionVariant::Exclusive),
            QString("Provider=vfpoledb.1;Data Source=/data/tables\\ ;Collating Sequence=general;mode=share "
                    "exclusive;"));
    }

    void buttonsReportTestBrowseLoadAndMoveOn() {
        Run run;
        run.form1->show();
        run.form1->OptionDBC1 = true;
        run.click("PushButton7");  // browse, cancelled: nothing changes
        QVERIFY(run.fake.settings.writes.isEmpty());
        QCOMPARE(run.fake.folderDialog.titles, QStringList{"Please select folder:"});
        QCOMPARE(run.fake.folderDialog.flags.front(), 1u);
        QCOMPARE(run.fake.folderDialog.selections, QStringList{""});
        run.click("PushButton8");  // test: nothing opens
        QCOMPARE(run.fake.messageBox.shown[0].icon, platform::MessageIcon::None);
        QCOMPARE(run.fake.messageBox.shown[0].buttons, platform::MessageButtons::Ok);
        QCOMPARE(run.fake.pointer.history.front(), Pointer::Hourglass);
        QCOMPARE(run.fake.pointer.get(run.form1.get()), Pointer::Default);
        run.click("PushButton10");  // help
        QCOMPARE(run.state(),
                 QString("form1 - dbc=1 option= text2= dbcpath= boxes=Could not connect.|Make sure "
                         "FoxPro is closed while using this application."));
        run.fake.messageBox.shown.clear();
        run.fake.folderDialog.answers.push_back("/chosen/folder");
        run.click("PushButton7");
        run.click("PushButton3");  // next: the folder does not open, nothing is said
        QCOMPARE(run.state(), QString("form1 - dbc=0 option=2 text2=/chosen/folder dbcpath= boxes="));
        for (int press = 0; press < 2; ++press) {  // Load Sample, every time
            run.store("FoxproOption", "1");
            run.form1->OptionDBC1 = true;
            run.click("PushButton1");
            QCOMPARE(run.state(), QString("form1 - dbc=0 option=2 text2=<program>/Samples dbcpath= boxes="));
        }
        // A folder that opens: the test says so and stores nothing; Next moves on to the list.
        run.text2()->setText(run.programFolder.path());
        const auto writes = run.fake.settings.writes.size();
        run.click("PushButton8");
        QCOMPARE(run.fake.settings.writes.size(), writes);
        run.click("PushButton3");
        QCOMPARE(run.state(),
                 QString("- list dbc=0 option=2 text2=<program> dbcpath= boxes=Connection successful."));
        QCOMPARE(run.form2.reloads, 1);
    }

    void pointerSkinAndHandCursorFromTheProgramFolder() {
        Run run;
        run.form1->startUp();
        QVERIFY(run.fake.pointer.loadedCursors.isEmpty());
        QFile::copy(DORVANE_SOURCE_DIR "/app/assets/HAND-M.CUR", run.programFolder.path() + "/HAND-M.CUR");
        QDir(run.programFolder.path()).mkpath("x");
        QFile skin(run.programFolder.path() + "/x/o.cjs");
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write("QPushButton { color: rgb(10, 20, 30); }");
        skin.close();
        Run again(run.programFolder.path());
        again.form1->startUp();
        QCOMPARE(again.fake.pointer.loadedCursors, QStringList{run.programFolder.path() + "/HAND-M.CUR"});
        QVERIFY(again.form1->styleSheet().contains("rgb(10, 20, 30)"));
        // The hand over buttons, the arrow elsewhere; the hourglass stays while it is up.
        again.form1->show();
        QCOMPARE(again.moveOver(again.form1->findChild<QPushButton*>("PushButton8")), Pointer::Custom);
        QCOMPARE(again.moveOver(again.text2()), Pointer::Default);
        again.fake.pointer.set(again.form1.get(), Pointer::Hourglass);
        QCOMPARE(again.moveOver(again.form1->findChild<QPushButton*>("PushButton3")), Pointer::Hourglass);
    }

    // The advanced options window ("dbc"), driven by the scripts of the window runner: OK with a chosen
    // container, OK with an empty path, Cancel after typing a path.
    void advancedOptions() {
        const struct {
            bool containerBefore;
            const char *storedDbc, *chosen;
            QStringList buttons;  // "=text" types into Text1
            const char *state, *storedAfter;
        } cases[] = {
            {false,
             "",
             "<dbc>",
             {"PushButton5", "PushButton1"},
             "- - dbc=1 option=1 text2= dbcpath=<data>/FOXPRO-DB-TEST.DBC boxes=",
             "<data>/FOXPRO-DB-TEST.DBC"},
            {false, "", "", {"PushButton1"}, "- - dbc=0 option=2 text2= dbcpath= boxes=", ""},
            {true,
             "/old.dbc",
             "",
             {"=/typed/new.dbc", "PushButton5", "PushButton2"},
             "- - dbc=0 option=2 text2= dbcpath=/old.dbc boxes=",
             "/typed/new.dbc"},
        };
        for (const auto& c : cases) {
            Run run;
            run.form1->OptionDBC1 = c.containerBefore;
            run.form1->DBCPath1 = c.storedDbc;
            run.store("DBCFile", c.storedDbc);
            run.store("FoxproOption", c.containerBefore ? "1" : "2");
            if (*c.chosen) run.fake.fileDialog.answers.push_back(run.place(c.chosen));
            QString shownPath;
            run.fake.windows.scripts.push_back([&](QDialog& form4) {
                shownPath = form4.findChild<QLineEdit*>("Text1")->text();
                for (const QString& b : c.buttons) {
                    if (b.startsWith('='))
                        form4.findChild<QLineEdit*>("Text1")->setText(b.mid(1));
                    else
                        form4.findChild<QPushButton*>(b)->click();
                }
                return form4.result();
            });
            run.click("PushButton12");
            if (*c.chosen) {
                const auto& request = run.fake.fileDialog.opened.front();
                QCOMPARE(request.title, QString("Select Foxpro Database"));
                QCOMPARE(request.filter, QString("Microsoft Database (*.dbc)|*.dbc|"));
                QCOMPARE(request.flags, 0x280001u);
                QVERIFY(request.fileName.isEmpty());
            }
            QCOMPARE(run.fake.windows.shownWindows, QStringList{"Form4"});
            QCOMPARE(shownPath, QString(c.storedDbc));
            QCOMPARE(run.state(), QString(c.state));
            QCOMPARE(run.setting("DBCFile"), run.place(c.storedAfter));
        }
    }
};

QTEST_MAIN(ConnectionWindowTest)
#include "connection_window_test.moc"
