#include "app/error_trap.h"

#include <exception>

#include "provider/error.h"

namespace dorvane::app {

QString locationLabel(const QString& module, const QString& procedure) {
    return QStringLiteral("in ") + QLatin1String(kProgramStamp) + '.' + module + '.' + procedure + ' ';
}

QString errorReportText(const QString& description, const QString& location, int line) {
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") + QString::number(line) +
           QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ") +
           QLatin1String(kSupportEmail);
}

QString currentFailureDescription() {
    try {
        throw;
    } catch (const provider::ProviderError& e) {
        return QString::fromStdString(e.message());
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure.");
    }
}

ErrorTrap::ErrorTrap(platform::MessageBox& messageBox, QString location, QWidget* owner)
    : m_messageBox(messageBox), m_location(std::move(location)), m_owner(owner) {}

bool ErrorTrap::line(int number, const std::function<void()>& body) {
    m_lastLine = number;
    try {
        body();
        return true;
    } catch (...) {
        report(currentFailureDescription(), number);
        return false;
    }
}

bool ErrorTrap::test(int number, const std::function<bool()>& condition) {
    m_lastLine = number;
    try {
        return condition();
    } catch (...) {
        report(currentFailureDescription(), number);
        return true;
    }
}

void ErrorTrap::report(const QString& description, int number) {
    ++m_failures;
    QString text = errorReportText(description, m_location, number);
    if (!m_extra.isEmpty()) text += m_extra;
    m_messageBox.show(m_owner, {text, QStringLiteral("Application Error"), platform::MessageButtons::Ok,
                                platform::MessageIcon::Exclamation});
}

}  // namespace dorvane::app
