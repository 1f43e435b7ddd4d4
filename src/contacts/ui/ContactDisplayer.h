#pragma once

#include "contacts/store/_Contact.h"

#include <QPointer>
#include <QScrollArea>
#include <QThread>

class QLabel;
class QVBoxLayout;

// The contact card: one contact shown read-only as a photo, a name block and one titled section
// per kind of field. The card keeps its own copy of the contact it shows. Contact texts are shown
// as plain text, never as markup. A left click on a real photo offers to save it.
class ContactDisplayer : public QScrollArea
{
    Q_OBJECT
public:
    explicit ContactDisplayer(QWidget* parent = nullptr);
    ~ContactDisplayer() override = default;

    void clear();
    void showContact(const pim::_Contact* contact);
    bool hasContact() const { return m_hasContact; }
    const pim::_Contact& shownContact() const { return m_shownContact; }

    using Format = QString (*)(const pim::Entity&);
    void showEntities(
        const QString& title, const QList<pim::Entity>& entities, Format format, bool richText = false);

    static QString g_phoneDisplay(const pim::Entity& e);
    static QString g_emailDisplay(const pim::Entity& e);
    static QString g_eventDisplay(const pim::Entity& e);
    static QString g_imDisplay(const pim::Entity& e);
    static QString g_orgDisplay(const pim::Entity& e);
    static QString g_relDisplay(const pim::Entity& e);
    // Rich text: the label in bold over the address lines, both escaped.
    static QString g_addrDisplay(const pim::Entity& e);
    static QString g_urlDisplay(const pim::Entity& e);
    static QString g_notesDisplay(const pim::Entity& e);

    // The name block: full name, nickname in double quotes, job title - department, company.
    static QString nameBlock(const pim::_Contact& contact);
    // The file name proposed for saving the photo: the cleaned full name and the picture's suffix.
    static QString photoFileName(const pim::_Contact& contact);
    // Writes the photo bytes to path; false (with the error text) when not written completely.
    static bool savePhoto(const QByteArray& bytes, const QString& path, QString* error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    pim::_Contact m_shownContact;
    bool m_hasContact = false;
    QWidget* contentWidget = nullptr;
    QVBoxLayout* contentLayout = nullptr;

    void replaceContent(QWidget* widget);
    void fitContent();
    QWidget* makeHeader(const pim::_Contact& contact);
    // Decodes the photo on a thread of its own and shows it in photo once made.
    void startPhoto(const QByteArray& bytes, QLabel* photo);
    void stopPhoto();
    QPointer<QThread> m_photoThread;
};
