#include "contacts/support/ExportFixtures.h"

#include "contacts/store/IOSContactsDb.h"
#include "contacts/support/ContactFixtures.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

namespace ExportFixtures
{

pim::_Contact contact(const QString& fullName,
    std::initializer_list<std::pair<int, std::initializer_list<std::pair<const char*, QVariant>>>> entities)
{
    pim::_Contact c(0, QString(), fullName);
    for (const auto& [kind, values] : entities)
        c.entities[kind].append(ContactFixtures::entity(values));
    return c;
}

static QByteArray image(int w, int h, const char* format)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(40, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return bytes;
}

QByteArray png(int width, int height)
{
    return image(width, height, "PNG");
}
QByteArray jpeg(int width, int height)
{
    return image(width, height, "JPEG");
}

QList<pim::_Contact> generatedBook(const QStringList& options)
{
    const QString dir = ContactFixtures::generate(options + QStringList { "--hashed" });
    if (dir.isEmpty())
        return {};
    return IOSContactsDb(QDir(dir)).contacts();
}

QList<pim::_Contact> realBook(const QString& folder)
{
    const QString src = TestEnv::realFixture(folder);
    if (src.isEmpty() || !QFileInfo(src).isDir())
        return {};
    const QString copy = TestEnv::copyToTemp(src);
    // The reader looks for the files under their backup names.
    QDir dir(copy);
    QFile::rename(dir.filePath("AddressBook.sqlitedb"), dir.filePath(IOSContactsDb::kAddressBookName));
    QFile::rename(dir.filePath("AddressBookImages.sqlitedb"), dir.filePath(IOSContactsDb::kImagesName));
    return IOSContactsDb(dir).contacts();
}

QString python(const QString& module)
{
    for (const QString& exe : { QStringLiteral("/usr/bin/python3"), QStringLiteral("python3") }) {
        QProcess p;
        p.start(exe, { "-c", module.isEmpty() ? QStringLiteral("pass") : "import " + module });
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return exe;
    }
    return QString();
}

int runPython(const QString& script, const QStringList& args, QString* out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(python("vobject").isEmpty() ? QStringLiteral("python3") : python("vobject"),
        QStringList { "-c", script } + args);
    if (!p.waitForFinished(120000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace ExportFixtures
