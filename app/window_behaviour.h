// What every window shares: the product and application titles, background colours, the hand cursor,
// the pointer rule over buttons, the optional skin, FileExists, and twips-based layout.
#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include "platform/platform.h"

class QWidget;

namespace dorvane::app {

inline constexpr char kProductTitle[] = "Dorvane Table Suite";
inline constexpr char kHandCursorFile[] = "/HAND-M.CUR";
inline constexpr char kSkinFile[] = "/x/o.cjs";

// The application title: the product title less its last word, then less further words from the end
// while it is longer than 40 characters.
QString applicationTitleFrom(const QString& productTitle);
// Derives the application title from the product title and makes it the title of untitled boxes.
void SetApplicationTitle(platform::Platform& platform);

// True when the file's date and time can be read; every failure gives false.
bool FileExists(const platform::Environment& environment, const QString& path);

// The system's button-face colour for the window and its labels, option buttons, check boxes and frames.
void SetWindowColors(QWidget* window);
// The program's icon.
void setApplicationIcon(QWidget* window);
// Loads "HAND-M.CUR" from the program folder as the window's custom pointer, when the file exists.
void loadHandCursor(platform::Platform& platform, QWidget* window);
// When "x/o.cjs" exists beside the program: the connection window's colours, then the file as a style sheet.
void LoadSkin(platform::Platform& platform, QWidget* connectionWindow);

// The pointer rule: over `hand` widgets the window's custom pointer, over `arrow` widgets the default
// pointer, in both cases only while the window's pointer is not the hourglass.
void installPointerRule(platform::Platform& platform, QWidget* window, const QList<QWidget*>& hand,
                        const QList<QWidget*>& arrow);

// Twips (1/1440 inch, 15 to a pixel at 96 dpi) to pixels at the screen's logical dpi.
int twips(int value);
QRect twipsRect(int left, int top, int width, int height);
// Places a child by twips and sets its objectName.
void place(QWidget* widget, const char* name, int left, int top, int width, int height);
// The font every window uses.
void setWindowFont(QWidget* window);

// Selects the whole text of a line edit whenever it gains the focus.
void selectAllOnFocus(QWidget* lineEdit);

}  // namespace dorvane::app
