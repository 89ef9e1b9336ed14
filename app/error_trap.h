// The error trap every command runs under: the command's lines are numbered 100, 102, 104, ...; a line
// that fails shows the error report box with the command's location and the line's number, and the
// command goes on with its next line. Nothing is rolled back and nothing is logged.
#pragma once

#include <QString>
#include <functional>

#include "platform/message_box.h"

class QWidget;

namespace dorvane::app {

inline constexpr char kSupportEmail[] = "support@kellmark.example";
inline constexpr char kProgramStamp[] = "DorvaneSuite2020/08/02";

// "in DorvaneSuite2020/08/02.<module>.<procedure> ".
QString locationLabel(const QString& module, const QString& procedure);

// The text of the error report box.
QString errorReportText(const QString& description, const QString& location, int line);

// The description of the failure in flight (call inside a catch block).
QString currentFailureDescription();

class ErrorTrap {
public:
    // `location` is the full label (see locationLabel); `owner` parents the box.
    ErrorTrap(platform::MessageBox& messageBox, QString location, QWidget* owner = nullptr);

    // Runs one numbered line. A failure shows the box; then the caller simply goes on.
    // Returns false when the line failed.
    bool line(int number, const std::function<void()>& body);
    // The test of an If: a test that fails counts as true, so the command goes on inside the If.
    bool test(int number, const std::function<bool()>& condition);
    // Text added after the box text (the rename-column command appends its statement).
    void setExtraText(const QString& text) { m_extra = text; }
    // How many boxes this trap has shown.
    int failures() const { return m_failures; }
    int lastLine() const { return m_lastLine; }

private:
    void report(const QString& description, int number);

    platform::MessageBox& m_messageBox;
    QString m_location;
    QWidget* m_owner;
    QString m_extra;
    int m_failures = 0;
    int m_lastLine = 0;
};

}  // namespace dorvane::app
