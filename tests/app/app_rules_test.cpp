// The rules behind the start-up windows: connection strings, the error report box and its trap,
// the application title (the hand cursor's file test is in connection_window_test).
#include <gtest/gtest.h>

#include <QApplication>
#include <stdexcept>

#include "app/data_source.h"
#include "app/error_trap.h"
#include "app/window_behaviour.h"
#include "platform/fake/fake_platform.h"
#include "provider/error.h"

using namespace dorvane;

TEST(ConnectionString, TailsFollowTheKindOfSourceAndTheVariant) {
    struct Case {
        bool dbc;
        app::ConnectionVariant variant;
        const char* expected;
    } cases[] = {
        {true, app::ConnectionVariant::Plain,
         "Provider=vfpoledb.1;Data Source=/d/shop.dbc;Collating Sequence=machine;"},
        {true, app::ConnectionVariant::Exclusive,
         "Provider=vfpoledb.1;Data Source=/d/shop.dbc;Collating Sequence=machine;mode=share exclusive"},
        {false, app::ConnectionVariant::Plain,
         "Provider=vfpoledb.1;Data Source=/d/tables;Collating Sequence=general;"},
        {false, app::ConnectionVariant::Exclusive,
         "Provider=vfpoledb.1;Data Source=/d/tables;Collating Sequence=general;mode=share exclusive;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::buildConnectionString(c.dbc, "/d/shop.dbc", "/d/tables", c.variant).toStdString(),
                  c.expected);
    }
    // First run: container mode with an empty path.
    EXPECT_EQ(app::buildConnectionString(true, "", "", app::ConnectionVariant::Plain).toStdString(),
              "Provider=vfpoledb.1;Data Source=;Collating Sequence=machine;");
}

TEST(ErrorTrap, ShowsOneBoxPerFailingLineAndGoesOn) {
    platform::FakeMessageBox box;
    app::ErrorTrap trap(box, app::locationLabel("Form3", "mnuCSV_Click"));
    std::vector<int> ran;
    trap.line(102, [&] { ran.push_back(102); });
    trap.line(104,
              [&] { throw provider::ProviderError::make(provider::FoxError::FileDoesNotExist, "a.dbf"); });
    for (int pass = 0; pass < 3; ++pass) {
        trap.line(106, [&] {
            if (pass != 1) throw std::runtime_error("pass failed");
            ran.push_back(106);
        });
    }
    if (trap.test(108, []() -> bool { throw std::runtime_error("test failed"); })) {
        trap.line(110, [&] { ran.push_back(110); });
    }
    EXPECT_EQ(ran, (std::vector<int>{102, 106, 110}));
    ASSERT_EQ(box.shown.size(), 4u);
    EXPECT_TRUE(box.shown[0].text.startsWith(
        "File \"a.dbf\" does not exist.\r\nin DorvaneSuite2020/08/02.Form3.mnuCSV_Click at line 104\r\r"));
    EXPECT_TRUE(box.shown[1].text.contains("at line 106"));
    EXPECT_TRUE(box.shown[3].text.startsWith("test failed\r\n"));
    EXPECT_TRUE(box.shown[3].text.contains("at line 108"));
    for (const auto& shown : box.shown) {
        EXPECT_EQ(shown.title, "Application Error");
        EXPECT_EQ(shown.icon, platform::MessageIcon::Exclamation);
        EXPECT_EQ(shown.buttons, platform::MessageButtons::Ok);
    }
}

TEST(ApplicationTitle, DropsTheLastWordThenWordsUntilItFits) {
    EXPECT_EQ(app::applicationTitleFrom("Dorvane Table Suite").toStdString(), "Dorvane Table");
    EXPECT_EQ(app::applicationTitleFrom("Suite").toStdString(), "");
    const QString longTitle = "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa";
    const QString title = app::applicationTitleFrom(longTitle);
    EXPECT_LE(title.size(), 40);
    EXPECT_EQ(title.toStdString(), "Alpha Beta Gamma Delta Epsilon Zeta Eta");
}
