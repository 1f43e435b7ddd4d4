#include "backup/BackupKeyBag.h"

#include "backup/BackupCrypto.h"
#include "backup/Pbkdf2Sha1.h"
#include "backup/Pbkdf2Sha256.h"

#include <stdexcept>

namespace
{

quint64 bigEndian(const QByteArray& v)
{
    quint64 r = 0;
    for (char c : v)
        r = r << 8 | uchar(c);
    return r;
}

[[noreturn]] void fail(const QString& source, const QString& why)
{
    throw std::runtime_error(
        QStringLiteral("The keybag in %1 is damaged: %2").arg(source, why).toStdString());
}

} // namespace

BackupKeyBag BackupKeyBag::parseThrow(const QByteArray& data, const QString& source)
{
    BackupKeyBag bag;
    ClassKey pending;
    bool inClass = false;
    auto flush = [&]() {
        if (inClass) {
            if (pending.wrappedKey.isEmpty())
                fail(source, QStringLiteral("class %1 has no wrapped key").arg(pending.protectionClass));
            bag.m_classes.insert(pending.protectionClass, pending);
        }
        pending = ClassKey();
    };
    qsizetype pos = 0;
    bool sawHeaderUuid = false;
    while (pos < data.size()) {
        if (data.size() - pos < 8)
            fail(source, QStringLiteral("truncated item header at byte %1").arg(pos));
        const QByteArray tag = data.mid(pos, 4);
        const quint32 len = quint32(bigEndian(data.mid(pos + 4, 4)));
        pos += 8;
        if (len > quint64(data.size() - pos))
            fail(source, QStringLiteral("item %1 runs past the end").arg(QString::fromLatin1(tag.toHex())));
        const QByteArray value = data.mid(pos, len);
        pos += len;
        for (char c : tag)
            if (uchar(c) < 0x20 || uchar(c) > 0x7e)
                fail(source, QStringLiteral("unreadable item tag"));
        if (tag == "UUID") {
            if (!sawHeaderUuid) {
                bag.m_uuid = value;
                sawHeaderUuid = true;
            } else {
                flush();
                inClass = true;
            }
            continue;
        }
        if (inClass) {
            if (tag == "CLAS")
                pending.protectionClass = quint32(bigEndian(value));
            else if (tag == "WRAP")
                pending.wrap = quint32(bigEndian(value));
            else if (tag == "KTYP")
                pending.keyType = quint32(bigEndian(value));
            else if (tag == "WPKY")
                pending.wrappedKey = value;
            continue;
        }
        if (tag == "VERS")
            bag.m_version = quint32(bigEndian(value));
        else if (tag == "TYPE")
            bag.m_type = quint32(bigEndian(value));
        else if (tag == "SALT")
            bag.m_salt = value;
        else if (tag == "ITER")
            bag.m_iter = bigEndian(value);
        else if (tag == "DPSL")
            bag.m_dpsl = value;
        else if (tag == "DPIC")
            bag.m_dpic = bigEndian(value);
    }
    flush();
    if (!sawHeaderUuid || bag.m_salt.isEmpty() || bag.m_iter == 0)
        fail(source, QStringLiteral("it lacks the UUID, SALT or ITER item"));
    if (bag.m_classes.isEmpty())
        fail(source, QStringLiteral("it holds no class keys"));
    return bag;
}

QByteArray BackupKeyBag::stageOneKey(const QByteArray& password, const std::atomic<bool>* cancel) const
{
    if (m_dpsl.isEmpty())
        return password;
    if (m_dpic == 0 || m_dpic > kMaxIterations)
        throw std::runtime_error(QStringLiteral(
            "The keybag asks for %1 iterations (DPIC); refusing a count that is zero or above %2.")
                                     .arg(m_dpic)
                                     .arg(kMaxIterations)
                                     .toStdString());
    QByteArray key = Pbkdf2Sha256::derive(password, m_dpsl, quint32(m_dpic), 32, cancel);
    if (key.isEmpty())
        throw Cancelled();
    return key;
}

QByteArray BackupKeyBag::passcodeKey(const QByteArray& stageOne, const std::atomic<bool>* cancel) const
{
    if (m_iter == 0 || m_iter > kMaxIterations)
        throw std::runtime_error(QStringLiteral(
            "The keybag asks for %1 iterations (ITER); refusing a count that is zero or above %2.")
                                     .arg(m_iter)
                                     .arg(kMaxIterations)
                                     .toStdString());
    QByteArray key = Pbkdf2Sha1::derive(stageOne, m_salt, m_iter, 32, cancel);
    if (key.isEmpty())
        throw Cancelled();
    return key;
}

bool BackupKeyBag::unlock(const QString& password, const std::atomic<bool>* cancel)
{
    // Check both counts first: nothing is derived when either is absurd.
    if (m_iter == 0 || m_iter > kMaxIterations
        || (!m_dpsl.isEmpty() && (m_dpic == 0 || m_dpic > kMaxIterations)))
        passcodeKey(stageOneKey(QByteArray())); // throws the explanatory error
    return unlockWithPasscodeKey(passcodeKey(stageOneKey(password.toUtf8(), cancel), cancel));
}

bool BackupKeyBag::unlockWithPasscodeKey(const QByteArray& passcodeKey)
{
    QMap<quint32, ClassKey> classes = m_classes;
    bool any = false;
    for (ClassKey& c : classes) {
        if (!(c.wrap & 2))
            continue;
        c.key = BackupCrypto::aesUnwrap(passcodeKey, c.wrappedKey);
        if (c.key.isEmpty())
            return false;
        any = true;
    }
    if (!any)
        return false;
    m_classes = classes;
    m_unlocked = true;
    return true;
}

QByteArray BackupKeyBag::classKey(quint32 protectionClass) const
{
    auto it = m_classes.constFind(protectionClass);
    return it == m_classes.constEnd() ? QByteArray() : it->key;
}

QByteArray BackupKeyBag::unwrapFileKey(quint32 protectionClass, const QByteArray& wrapped) const
{
    const QByteArray kek = classKey(protectionClass);
    if (kek.isEmpty())
        return {};
    return BackupCrypto::aesUnwrap(kek, wrapped);
}

QByteArray BackupKeyBag::wrapFileKey(quint32 protectionClass, const QByteArray& key) const
{
    const QByteArray kek = classKey(protectionClass);
    if (kek.isEmpty())
        return {};
    return BackupCrypto::aesWrap(kek, key);
}

quint32 BackupKeyBag::keyBlobClass(const QByteArray& blob)
{
    return quint32(uchar(blob[0])) | quint32(uchar(blob[1])) << 8 | quint32(uchar(blob[2])) << 16
        | quint32(uchar(blob[3])) << 24;
}

QByteArray BackupKeyBag::unwrapKeyBlob(const QByteArray& blob, KeyFault* fault) const
{
    const auto failed = [fault](KeyFault why) {
        if (fault)
            *fault = why;
        return QByteArray();
    };
    // A 32-byte file key wrapped is 40 bytes; no other length gives a key that decrypts a file.
    if (blob.size() != 4 + 40)
        return failed(KeyFault::Length);
    const quint32 cls = keyBlobClass(blob);
    if (!m_classes.contains(cls))
        return failed(KeyFault::NoClass);
    const QByteArray key = unwrapFileKey(cls, blob.mid(4));
    if (key.isEmpty())
        return failed(classKey(cls).isEmpty() ? KeyFault::ClassLocked : KeyFault::Check);
    if (fault)
        *fault = KeyFault::None;
    return key;
}
