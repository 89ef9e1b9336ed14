// Message boxes and input boxes as the windows use them: a text, buttons, an icon and a title in, an
// answer out. The Qt implementation shows real dialogs; the fake answers from a script.
#pragma once

#include <QString>

class QWidget;

namespace dorvane::platform {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry };

struct MessageRequest {
    QString text;
    QString title;  // empty: the application title
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Shows the box modally over `owner` (may be null) and returns the button pressed.
    virtual MessageAnswer show(QWidget* owner, const MessageRequest& request) = 0;
    // The title used when a request names none.
    virtual void setApplicationTitle(const QString& title) = 0;
    virtual QString applicationTitle() const = 0;
};

struct InputResult {
    bool accepted = false;  // OK pressed
    QString text;           // the text on OK, empty on Cancel
};

class InputBox {
public:
    virtual ~InputBox() = default;
    // Asks for one line of text; an empty title shows the application title.
    virtual InputResult ask(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText) = 0;
};

}  // namespace dorvane::platform
