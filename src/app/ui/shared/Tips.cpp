#include "app/ui/shared/Tips.h"

#include "app/ErrorReport.h"
#include "app/ShownText.h"
#include "app/StyleSheet.h"
#include "app/ui/shared/WinMovable.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>

namespace
{

Tips::Answerer& answererRef()
{
    static Tips::Answerer answerer;
    return answerer;
}

Tips::HeldErrors*& heldErrors()
{
    static Tips::HeldErrors* held = nullptr;
    return held;
}

// A box shows the head of a plain text that names long records (a list of names, a value): laid
// out whole, a text of megabytes would hold the window.
constexpr qsizetype kMaxBoxText = 8000;

QString boxText(const QString& text)
{
    return ShownText::line(text, kMaxBoxText).toHtmlEscaped().replace('\n', "<br/>");
}

// Plain text (an exception's message, a path) is escaped so that '<', '&', quotes and line breaks
// survive: callers hand such texts over unescaped.
QString asRichText(const QString& text)
{
    if (Qt::mightBeRichText(text))
        return text;
    return boxText(text);
}

QMessageBox::StandardButton runBox(QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton, bool copyable = false)
{
    QMessageBox box(icon, Tips::title(), QString(), QMessageBox::NoButton, nullptr);
    box.setObjectName(Tips::objectName);
    new WinMovable(&box);
    box.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    box.setStyleSheet(getStyleSheet());
    box.setTextFormat(Qt::RichText);
    box.setText(asRichText(text));
    box.setStandardButtons(buttons);
    box.setDefaultButton(defaultButton);
    if (copyable)
        box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return box.standardButton(Tips::exec(box));
}

} // namespace

QAbstractButton* Tips::exec(QMessageBox& box)
{
    // A copy: the answerer may install another one while it runs.
    if (const Answerer answer = answererRef()) {
        answer(box);
        if (box.clickedButton())
            return box.clickedButton();
    }
    box.exec();
    return box.clickedButton();
}

void Tips::setAnswerer(Answerer answerer)
{
    answererRef() = std::move(answerer);
}

const Tips::Answerer& Tips::answerer()
{
    return answererRef();
}

QString Tips::title()
{
    return QStringLiteral("Quillmarrow");
}

void Tips::info(const QString& text)
{
    runBox(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void Tips::warning(const QString& text)
{
    runBox(QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

void Tips::warningCopyable(const QString& text)
{
    runBox(QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok, true);
}

Tips::HeldErrors::HeldErrors()
    : m_outer(heldErrors())
{
    heldErrors() = this;
}

Tips::HeldErrors::~HeldErrors()
{
    heldErrors() = m_outer;
}

void Tips::error(const QString& text)
{
    showError(text, asRichText(text));
}

void Tips::plainError(const QString& text)
{
    showError(text, boxText(text));
}

void Tips::showError(const QString& text, const QString& rich)
{
    if (HeldErrors* held = heldErrors()) {
        held->m_texts.append(text);
        return;
    }
    try {
        qWarning("Error shown: %s", qUtf8Printable(text));
        const QString framed = QCoreApplication::translate("Tips", "IDS_ERROR_FRAME_%1").arg(rich);
        runBox(QMessageBox::Critical, framed, QMessageBox::Ok, QMessageBox::Ok);
        ErrorReport::post(text);
    } catch (...) {
        // An error box must never become a second failure.
    }
}

bool Tips::question(const QString& text)
{
    return runBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}
