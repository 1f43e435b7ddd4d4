#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QMessageBox;

// The application's modal message boxes: frameless, draggable, styled with the application style
// sheet, rich text, titled with the product's display name. GUI thread only.
class Tips
{
public:
    static void info(const QString& text);
    static void warning(const QString& text);
    // A warning whose text can be selected and copied (an address, a folder).
    static void warningCopyable(const QString& text);
    // The text inside the application's error frame; once the box is closed the text is also sent
    // as an error report (reply ignored). Never throws.
    static void error(const QString& text);
    // The same for a text that is never markup (an exception's message naming what a backup holds).
    static void plainError(const QString& text);
    // Yes and No; true exactly when Yes was pressed.
    static bool question(const QString& text);

    // While one stands, error() keeps its texts here instead of showing them, for the caller to
    // show those that are not told otherwise. GUI thread only; the innermost one keeps them.
    class HeldErrors
    {
    public:
        HeldErrors();
        ~HeldErrors();
        HeldErrors(const HeldErrors&) = delete;
        HeldErrors& operator=(const HeldErrors&) = delete;
        const QStringList& texts() const { return m_texts; }

    private:
        friend class Tips;
        HeldErrors* m_outer;
        QStringList m_texts;
    };

    // The product's display name, the title of every box.
    static QString title();
    // Object name of every box, for the style sheet and for tests.
    static constexpr const char* objectName = "TipsBox";

    // Runs a message box built by the caller and returns the button that closed it (null when
    // none did). Every message box of the program goes through here, so an answerer can take it.
    static QAbstractButton* exec(QMessageBox& box);

    // Test seam: the answerer gets each box, built and not yet shown. When it clicks one of the
    // box's buttons the box is never shown; otherwise the box runs as usual. Null removes it.
    using Answerer = std::function<void(QMessageBox& box)>;
    static void setAnswerer(Answerer answerer);
    static const Answerer& answerer();

private:
    static void showError(const QString& text, const QString& rich);
};
