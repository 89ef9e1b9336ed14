// Form2 until the table-list window exists: an empty window the wizard moves on to.
#pragma once

#include <QWidget>

#include "app/wizard.h"

namespace dorvane::app {

class Form2Placeholder final : public QWidget, public TableListStep {
    Q_OBJECT
public:
    explicit Form2Placeholder(QWidget* parent = nullptr);
    void showStep() override { show(); }
    void reloadStep() override { ++reloads; }
    int reloads = 0;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace dorvane::app
