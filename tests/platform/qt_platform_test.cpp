// The Qt/Linux desktop pieces that can run without a person: the settings file and filters.
#include <QTemporaryDir>
#include <QtTest>

#include "platform/qt/qt_platform.h"

using namespace dorvane::platform;

class QtPlatformTest : public QObject {
    Q_OBJECT

private slots:
    void settingsLiveInTheConfigFolderAndSurviveARestart() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        {
            QtPlatform desktop;
            SettingsStore& store = desktop.platform().settings;
            QCOMPARE(store.get("Kellmark", "Dorvane Table Suite", "FoxproOption"), QString(""));
            store.save("Kellmark", "Dorvane Table Suite", "FreeTableFolder", "/data/my tables;x=1");
            store.save("Kellmark", "Dorvane Table Suite", "DBCFile", "");
        }
        QtPlatform again;
        SettingsStore& store = again.platform().settings;
        QCOMPARE(store.get("Kellmark", "Dorvane Table Suite", "FreeTableFolder"), QString("/data/my tables;x=1"));
        QCOMPARE(store.get("Kellmark", "Dorvane Table Suite", "DBCFile"), QString(""));
        QCOMPARE(store.get("Kellmark", "Other Section", "FreeTableFolder"), QString(""));
        QVERIFY(QFile::exists(config.path() + "/Kellmark/settings.ini"));
    }

    void pipeFiltersBecomeQtFilters() {
        QCOMPARE(qtNameFilter("Microsoft Database (*.dbc)|*.dbc|"), QString("Microsoft Database (*.dbc)"));
        QCOMPARE(qtNameFilter("Text|*.txt;*.csv|All files|*.*|"), QString("Text (*.txt *.csv);;All files (*.*)"));
        QCOMPARE(qtNameFilter(""), QString(""));
    }

    void handCursorFileLoads() {
        QtPlatform desktop;
        QWidget window;
        PointerControl& pointer = desktop.platform().pointer;
        QVERIFY(pointer.loadCustom(&window, DORVANE_SOURCE_DIR "/app/assets/HAND-M.CUR"));
        pointer.set(&window, Pointer::Custom);
        QCOMPARE(window.cursor().hotSpot(), QPoint(5, 0));
        pointer.set(&window, Pointer::Hourglass);
        QCOMPARE(window.cursor().shape(), Qt::WaitCursor);
        QCOMPARE(pointer.get(&window), Pointer::Hourglass);
        QVERIFY(!pointer.loadCustom(&window, "/nonexistent/HAND-M.CUR"));
    }
};

QTEST_MAIN(QtPlatformTest)
#include "qt_platform_test.moc"
