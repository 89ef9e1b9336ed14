// The connection window and the advanced options window, driven through the scripted desktop.
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/advanced_options_window.h"
#include "app/connection_window.h"
#include "app/wizard.h"
#include "platform/fake/fake_platform.h"

using namespace dorvane;
using platform::FakePlatform;

namespace {

QString setting(FakePlatform& fake, const char* key) {
    return fake.settings.get("Kellmark", "Dorvane Table Suite", key);
}
void store(FakePlatform& fake, const char* key, const QString& value) {
    fake.settings.save("Kellmark", "Dorvane Table Suite", key, value);
}

// The table-list window as the connection window sees it: shown, and asked to rebuild its list.
class TableListDouble final : public QWidget, public app::TableListStep {
public:
    void showStep() override { show(); }
    void reloadStep() override { ++reloads; }
    int reloads = 0;
};

// One run of the program: the fake desktop, the connection window and the table-list step.
struct Run {
    FakePlatform fake;
    platform::Platform platform = fake.platform();
    QTemporaryDir programFolder;
    std::unique_ptr<app::Form1> form1;
    std::unique_ptr<TableListDouble> form2;

    Run() {
        fake.environment.folder = programFolder.path();
        form1 = std::make_unique<app::Form1>(platform);
        form2 = std::make_unique<TableListDouble>();
        form1->setTableListStep(form2.get());
    }
    QLineEdit* text2() { return form1->findChild<QLineEdit*>("Text2"); }
    QPushButton* button(const char* name) { return form1->findChild<QPushButton*>(name); }
};

// A copy of a real database container in `folder`; returns the .dbc path.
QString copyContainer(const QString& folder) {
    for (const char* name : {"FOXPRO-DB-TEST.DBC", "FOXPRO-DB-TEST.DCT", "FOXPRO-DB-TEST.DCX"}) {
        QFile::copy(QString(DORVANE_FIXTURES "/foxprodb/") + name, folder + "/" + name);
    }
    return folder + "/FOXPRO-DB-TEST.DBC";
}

void sendMouseMove(QWidget* widget) {
    const QPointF at(2, 2);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

}  // namespace

class ConnectionWindowTest : public QObject {
    Q_OBJECT

private slots:
    void firstRunStaysOnTheConnectionWindow() {
        Run run;
        run.form1->startUp();
        QCOMPARE(run.text2()->text(), QString());
        QVERIFY(run.form1->OptionDBC1);
        QCOMPARE(run.form1->DBCPath1, QString());
        QVERIFY(run.form1->isVisible());
        QVERIFY(!run.form2->isVisible());
        QCOMPARE(run.form1->windowTitle(), QString("Dorvane Table Suite"));
        QVERIFY(run.fake.messageBox.shown.empty());
        QCOMPARE(run.fake.messageBox.applicationTitle(), QString("Dorvane Table"));
    }

    void storedFolderThatOpensSkipsTheConnectionWindow() {
        Run run;
        QTemporaryDir tables;
        store(run.fake, "FreeTableFolder", tables.path());
        run.form1->startUp();
        QVERIFY(run.form2->isVisible());
        QVERIFY(!run.form1->isVisible());
        QVERIFY(!run.form1->OptionDBC1);
        QCOMPARE(setting(run.fake, "FoxproOption"), QString("2"));
    }

    void storedFolderThatNoLongerOpensShowsItInFolderMode() {
        Run run;
        store(run.fake, "FreeTableFolder", run.programFolder.path() + "/gone");
        run.form1->startUp();
        QVERIFY(run.form1->isVisible());
        QVERIFY(!run.form2->isVisible());
        QCOMPARE(run.text2()->text(), run.programFolder.path() + "/gone");
        QVERIFY(!run.form1->OptionDBC1);
    }

    void storedContainerOpensWhenNoFolderIsStored() {
        Run run;
        QTemporaryDir data;
        const QString dbc = copyContainer(data.path());
        store(run.fake, "FoxproOption", "1");
        store(run.fake, "DBCFile", dbc);
        run.form1->startUp();
        QVERIFY(run.form1->OptionDBC1);
        QCOMPARE(run.form1->DBCPath1, dbc);
        QVERIFY(run.form2->isVisible());
        QCOMPARE(run.form1->connectionString(app::ConnectionVariant::Plain),
                 "Provider=vfpoledb.1;Data Source=" + dbc + ";Collating Sequence=machine;");
    }

    void storedFolderWinsOverAStoredContainer() {
        Run run;
        QTemporaryDir tables;
        store(run.fake, "FoxproOption", "1");
        store(run.fake, "DBCFile", "/nowhere/shop.dbc");
        store(run.fake, "FreeTableFolder", tables.path());
        run.form1->startUp();
        QVERIFY(!run.form1->OptionDBC1);
        QCOMPARE(setting(run.fake, "FoxproOption"), QString("2"));
        QCOMPARE(run.form1->DBCPath1, QString("/nowhere/shop.dbc"));
        QVERIFY(run.form2->isVisible());
    }

    void folderTextChangeRule() {
        Run run;
        run.form1->OptionDBC1 = true;
        run.text2()->setText("/data/tables ");
        QCOMPARE(setting(run.fake, "FreeTableFolder"), QString("/data/tables "));
        QCOMPARE(setting(run.fake, "FoxproOption"), QString("2"));
        QVERIFY(!run.form1->OptionDBC1);

        // Clearing the box stores the empty text and switches nothing.
        store(run.fake, "FoxproOption", "1");
        run.form1->OptionDBC1 = true;
        run.text2()->setText("");
        QCOMPARE(setting(run.fake, "FreeTableFolder"), QString(""));
        QVERIFY(run.fake.settings.values.contains("Kellmark/Dorvane Table Suite/FreeTableFolder"));
        QCOMPARE(setting(run.fake, "FoxproOption"), QString("1"));
        QVERIFY(run.form1->OptionDBC1);
        // The path passes into the connection string unchanged.
        run.text2()->setText("/data/tables\\ ");
        QCOMPARE(run.form1->connectionString(app::ConnectionVariant::Exclusive),
                 QString("Provider=vfpoledb.1;Data Source=/data/tables\\ ;Collating Sequence=general;mode=share exclusive;"));
    }

    void testConnectionReportsTheOutcome() {
        Run run;
        run.form1->OptionDBC1 = false;
        run.button("PushButton8")->click();
        QCOMPARE(run.fake.messageBox.texts(), QStringList{"Could not connect."});
        QCOMPARE(run.fake.messageBox.shown[0].icon, platform::MessageIcon::None);
        QCOMPARE(run.fake.messageBox.shown[0].buttons, platform::MessageButtons::Ok);
        QCOMPARE(run.fake.pointer.history.front(), platform::Pointer::Hourglass);
        QCOMPARE(run.fake.pointer.get(run.form1.get()), platform::Pointer::Default);

        QTemporaryDir tables;
        run.text2()->setText(tables.path());
        run.button("PushButton8")->click();
        QCOMPARE(run.fake.messageBox.texts().last(), QString("Connection successful."));
        QVERIFY(run.fake.settings.writes.size() == 2);  // only the folder text, no setting from the test
    }

    void helpShowsItsAdvice() {
        Run run;
        run.button("PushButton10")->click();
        QCOMPARE(run.fake.messageBox.texts(), QStringList{"Make sure FoxPro is closed while using this application."});
    }

    void browseSetsTheFolderOrChangesNothing() {
        Run run;
        run.text2()->setText("/before");
        run.form1->OptionDBC1 = true;
        const auto writes = run.fake.settings.writes;
        run.button("PushButton7")->click();  // cancelled
        QCOMPARE(run.text2()->text(), QString("/before"));
        QCOMPARE(run.fake.settings.writes, writes);
        QVERIFY(run.form1->OptionDBC1);
        QCOMPARE(run.fake.folderDialog.titles, QStringList{"Please select folder:"});
        QCOMPARE(run.fake.folderDialog.flags.front(), 1u);
        QCOMPARE(run.fake.folderDialog.selections, QStringList{""});

        run.fake.folderDialog.answers.push_back("/chosen/folder");
        run.button("PushButton7")->click();
        QCOMPARE(run.text2()->text(), QString("/chosen/folder"));
        QVERIFY(!run.form1->OptionDBC1);
    }

    void loadSampleSetsTheSampleFolderEveryTime() {
        Run run;
        for (int press = 0; press < 2; ++press) {
            store(run.fake, "FoxproOption", "1");
            run.form1->OptionDBC1 = true;
            run.button("PushButton1")->click();
            QCOMPARE(run.text2()->text(), run.programFolder.path() + "/Samples");
            QCOMPARE(setting(run.fake, "FoxproOption"), QString("2"));
            QVERIFY(!run.form1->OptionDBC1);
        }
        QVERIFY(!run.form2->isVisible());
    }

    void nextMovesOnOnlyWhenTheSourceOpens() {
        Run run;
        run.form1->show();
        run.text2()->setText(run.programFolder.path() + "/missing");
        run.button("PushButton3")->click();
        QVERIFY(run.form1->isVisible());
        QVERIFY(!run.form2->isVisible());
        QVERIFY(run.fake.messageBox.shown.empty());

        run.text2()->setText(run.programFolder.path());
        run.button("PushButton3")->click();
        QVERIFY(!run.form1->isVisible());
        QVERIFY(run.form2->isVisible());
        QCOMPARE(run.form2->reloads, 1);
    }

    void handCursorOnlyWhenTheFileIsThere() {
        Run run;
        run.form1->startUp();
        QVERIFY(run.fake.pointer.loadedCursors.isEmpty());

        Run withCursor;
        QFile::copy(DORVANE_SOURCE_DIR "/app/assets/HAND-M.CUR", withCursor.programFolder.path() + "/HAND-M.CUR");
        withCursor.form1->startUp();
        QCOMPARE(withCursor.fake.pointer.loadedCursors, QStringList{withCursor.programFolder.path() + "/HAND-M.CUR"});
    }

    void pointerRuleLeavesTheHourglassAlone() {
        Run run;
        run.form1->show();
        sendMouseMove(run.button("PushButton8"));
        QCOMPARE(run.fake.pointer.get(run.form1.get()), platform::Pointer::Custom);
        sendMouseMove(run.text2());
        QCOMPARE(run.fake.pointer.get(run.form1.get()), platform::Pointer::Default);
        run.fake.pointer.set(run.form1.get(), platform::Pointer::Hourglass);
        sendMouseMove(run.button("PushButton3"));
        QCOMPARE(run.fake.pointer.get(run.form1.get()), platform::Pointer::Hourglass);
    }

    void skinFileIsAppliedAsAStyleSheet() {
        Run run;
        QDir(run.programFolder.path()).mkpath("x");
        QFile skin(run.programFolder.path() + "/x/o.cjs");
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write("QPushButton { color: rgb(10, 20, 30); }");
        skin.close();
        run.form1->startUp();
        QVERIFY(run.form1->styleSheet().contains("rgb(10, 20, 30)"));
    }

    // The advanced options window, opened by "dbc" and driven by the scripts of the window runner.
    void advancedOptionsOkWithAPathSwitchesToTheContainer() {
        Run run;
        QTemporaryDir data;
        const QString dbc = copyContainer(data.path());
        run.fake.fileDialog.answers.push_back(dbc);
        run.fake.windows.scripts.push_back([](QDialog& form4) {
            form4.findChild<QPushButton*>("PushButton5")->click();
            form4.findChild<QPushButton*>("PushButton1")->click();
            return form4.result();
        });
        run.button("PushButton12")->click();
        QCOMPARE(run.fake.windows.shownWindows, QStringList{"Form4"});
        const auto& request = run.fake.fileDialog.opened.front();
        QCOMPARE(request.title, QString("Select Foxpro Database"));
        QCOMPARE(request.filter, QString("Microsoft Database (*.dbc)|*.dbc|"));
        QCOMPARE(request.flags, 0x280001u);
        QVERIFY(request.fileName.isEmpty());
        QCOMPARE(setting(run.fake, "DBCFile"), dbc);
        QCOMPARE(setting(run.fake, "FoxproOption"), QString("1"));
        QVERIFY(run.form1->OptionDBC1);
        QCOMPARE(run.form1->DBCPath1, dbc);
        run.button("PushButton8")->click();
        QCOMPARE(run.fake.messageBox.texts(), QStringList{"Connection successful."});
    }

    void advancedOptionsOkWithAnEmptyPathChangesNothing() {
        Run run;
        run.form1->OptionDBC1 = false;
        store(run.fake, "FoxproOption", "2");
        int result = -1;
        run.fake.windows.scripts.push_back([&](QDialog& form4) {
            form4.findChild<QPushButton*>("PushButton1")->click();
            result = form4.result();
            return result;
        });
        run.button("PushButton12")->click();
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(!run.form1->OptionDBC1);
        QCOMPARE(setting(run.fake, "FoxproOption"), QString("2"));
    }

    void advancedOptionsCancelKeepsTheTypedPathButReturnsToFolderMode() {
        Run run;
        run.form1->OptionDBC1 = true;
        run.form1->DBCPath1 = "/old.dbc";
        store(run.fake, "DBCFile", "/old.dbc");
        run.fake.windows.scripts.push_back([](QDialog& form4) {
            auto* text1 = form4.findChild<QLineEdit*>("Text1");
            if (text1->text() != "/old.dbc") return -1;
            text1->setText("/typed/new.dbc");
            form4.findChild<QPushButton*>("PushButton5")->click();  // dialog cancelled
            if (text1->text() != "/typed/new.dbc") return -2;
            form4.findChild<QPushButton*>("PushButton2")->click();
            return form4.result();
        });
        run.button("PushButton12")->click();
        QCOMPARE(setting(run.fake, "DBCFile"), QString("/typed/new.dbc"));
        QCOMPARE(setting(run.fake, "FoxproOption"), QString("2"));
        QVERIFY(!run.form1->OptionDBC1);
        QCOMPARE(run.form1->DBCPath1, QString("/old.dbc"));
    }
};

QTEST_MAIN(ConnectionWindowTest)
#include "connection_window_test.moc"
