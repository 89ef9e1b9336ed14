#include "app/window_behaviour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

namespace dorvane::app {

QString applicationTitleFrom(const QString& productTitle) {
    auto dropLastWord = [](const QString& text) {
        const int blank = text.lastIndexOf(QLatin1Char(' '));
        return blank < 0 ? QString() : text.left(blank);
    };
    QString title = dropLastWord(productTitle);
    while (title.size() > 40) title = dropLastWord(title);
    return title;
}

void SetApplicationTitle(platform::Platform& platform) {
    platform.messageBox.setApplicationTitle(applicationTitleFrom(QString::fromLatin1(kProductTitle)));
}

bool FileExists(const platform::Environment& environment, const QString& path) {
    try {
        return environment.fileDateTime(path).has_value();
    } catch (...) {
        return false;
    }
}

void SetWindowColors(QWidget* window) {
    const QColor face = window->palette().color(QPalette::Button);
    auto paint = [&](QWidget* w) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, face);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    };
    paint(window);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(child) || qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child)) {
            paint(child);
        }
    }
}

void setApplicationIcon(QWidget* window) {
    // A small table: a header row over a grid, drawn once.
    static const QIcon icon = [] {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setPen(QColor(40, 60, 110));
        painter.setBrush(Qt::white);
        painter.drawRect(2, 4, 27, 24);
        painter.fillRect(3, 5, 26, 6, QColor(70, 110, 190));
        for (int y = 17; y < 28; y += 6) painter.drawLine(3, y, 28, y);
        for (int x = 11; x < 28; x += 9) painter.drawLine(x, 11, x, 27);
        return QIcon(pixmap);
    }();
    window->setWindowIcon(icon);
}

void loadHandCursor(platform::Platform& platform, QWidget* window) {
    const QString path = platform.environment.programFolder() + QLatin1String(kHandCursorFile);
    if (FileExists(platform.environment, path)) platform.pointer.loadCustom(window, path);
}

void LoadSkin(platform::Platform& platform, QWidget* connectionWindow) {
    const QString path = platform.environment.programFolder() + QLatin1String(kSkinFile);
    if (!QFileInfo(path).isFile()) return;
    SetWindowColors(connectionWindow);
    connectionWindow->setStyleSheet(QString::fromUtf8(platform.environment.readFile(path)));
}

namespace {

class PointerRule final : public QObject {
public:
    PointerRule(platform::Platform& platform, QWidget* window, const QList<QWidget*>& hand, const QList<QWidget*>& arrow)
        : QObject(window), m_platform(platform), m_window(window), m_hand(hand), m_arrow(arrow) {
        for (QWidget* w : hand + arrow) {
            w->setMouseTracking(true);
            w->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseMove) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (m_platform.pointer.get(m_window) == platform::Pointer::Hourglass) return false;
        if (m_hand.contains(widget)) {
            m_platform.pointer.set(m_window, platform::Pointer::Custom);
            return false;
        }
        // A move that a button passed up to its frame or window is the button's, not the background's.
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        for (QWidget* under = widget->childAt(at); under && under != widget; under = under->parentWidget()) {
            if (m_hand.contains(under)) return false;
        }
        m_platform.pointer.set(m_window, platform::Pointer::Default);
        return false;
    }

private:
    platform::Platform& m_platform;
    QWidget* m_window;
    QList<QWidget*> m_hand;
    QList<QWidget*> m_arrow;
};

class SelectAllOnFocus final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            auto* edit = static_cast<QLineEdit*>(watched);
            // After the click that gave the focus has placed the cursor.
            QTimer::singleShot(0, edit, [edit] { edit->selectAll(); });
        }
        return false;
    }
};

}  // namespace

void installPointerRule(platform::Platform& platform, QWidget* window, const QList<QWidget*>& hand,
                        const QList<QWidget*>& arrow) {
    new PointerRule(platform, window, hand, arrow);
}

int twips(int value) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return qRound(value / 15.0 * dpi / 96.0);
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

void place(QWidget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsRect(left, top, width, height));
}

void setWindowFont(QWidget* window) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    window->setFont(font);
}

void selectAllOnFocus(QWidget* lineEdit) { lineEdit->installEventFilter(new SelectAllOnFocus(lineEdit)); }

}  // namespace dorvane::app
