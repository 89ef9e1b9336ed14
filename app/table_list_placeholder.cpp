#include "app/table_list_placeholder.h"

#include <QCloseEvent>

#include "app/window_behaviour.h"

namespace dorvane::app {

Form2Placeholder::Form2Placeholder(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString::fromLatin1(kProductTitle));
    setApplicationIcon(this);
    resize(twips(8040), twips(5000));
}

void Form2Placeholder::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace dorvane::app
