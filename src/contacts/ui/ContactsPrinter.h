#pragma once

#include "contacts/store/_Contact.h"

#include <QList>
#include <QObject>
#include <QString>

class QPainter;
class QPrinter;

// Prints contacts as cards, two columns by four rows on each page, through a print preview or
// straight into a PDF file. Cards are drawn as text and pictures on the page (so the PDF keeps
// its text), laid out anew for every print from the page's size. Main thread only.
class ContactsPrinter : public QObject
{
    Q_OBJECT
public:
    explicit ContactsPrinter(QObject* parent = nullptr);

    // Runs the modal print preview; returns when it closes.
    void printContacts(const QList<pim::_Contact>& contacts);
    // Writes every contact into the PDF file at path; returns the number of contacts painted.
    // Throws std::runtime_error when the file cannot be created or written.
    int printToPDF(const QList<pim::_Contact>& contacts, const QString& path);

    // Draws one card of the given size with its top-left corner at the painter's origin.
    static void printContact(QPainter& painter, int width, int height, const pim::_Contact& contact);

    int paintedCount() const { return m_count; }

public slots:
    // One pass over all kept contacts; false when painting on the printer could not begin.
    bool onPaintRequested(QPrinter* printer);

private:
    QList<pim::_Contact> m_contacts;
    int m_count = 0;
};
