// How the connection window hands over to the table-list window without knowing its class.
#pragma once

namespace dorvane::app {

class TableListStep {
public:
    virtual ~TableListStep() = default;
    // Shows the table-list window, not modal.
    virtual void showStep() = 0;
    // The window's public load routine: rebuilds its list of tables.
    virtual void reloadStep() = 0;
};

}  // namespace dorvane::app
