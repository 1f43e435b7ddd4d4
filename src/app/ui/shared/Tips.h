#pragma once

#include <QString>

// The application's modal message boxes: frameless, draggable, styled with the application style
// sheet, rich text, titled with the product's display name. GUI thread only.
class Tips
{
public:
    static void info(const QString& text);
    static void warning(const QString& text);
    // The text inside the application's error frame; once the box is closed the text is also sent
    // as an error report (reply ignored). Never throws.
    static void error(const QString& text);
    // Yes and No; true exactly when Yes was pressed.
    static bool question(const QString& text);

    // The product's display name, the title of every box.
    static QString title();
    // Object name of every box, for the style sheet and for tests.
    static constexpr const char* objectName = "TipsBox";
};
