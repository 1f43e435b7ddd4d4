#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <atomic>
#include <stdexcept>

// The keybag of an encrypted backup ("BackupKeyBag" of Manifest.plist): its header values and one
// wrapped key per protection class. unlock() derives the passcode key from the backup password
// and unwraps the class keys; afterwards file keys can be unwrapped and wrapped.
class BackupKeyBag
{
public:
    // Iteration counts above this are refused before any derivation starts.
    static constexpr quint64 kMaxIterations = 50000000;

    // Thrown by the derivations when their cancel flag was set; nothing changes.
    struct Cancelled : std::runtime_error {
        Cancelled()
            : std::runtime_error("The password check was cancelled.")
        {
        }
    };

    struct ClassKey {
        quint32 protectionClass = 0;
        quint32 wrap = 0;
        quint32 keyType = 0;
        QByteArray wrappedKey; // WPKY
        QByteArray key; // unwrapped; empty until unlocked
    };

    // Parses the TLV bytes; throws std::runtime_error naming source when they are truncated or
    // not a backup keybag.
    static BackupKeyBag parseThrow(
        const QByteArray& data, const QString& source = QStringLiteral("BackupKeyBag"));

    // The first derivation step: PBKDF2-HMAC-SHA256 over DPSL/DPIC when present, else the password.
    // Both steps throw Cancelled soon after cancel (when given) is set.
    QByteArray stageOneKey(const QByteArray& password, const std::atomic<bool>* cancel = nullptr) const;
    // The passcode key: PBKDF2-HMAC-SHA1(stage-one key, SALT, ITER, 32).
    QByteArray passcodeKey(const QByteArray& stageOne, const std::atomic<bool>* cancel = nullptr) const;

    // Derives the passcode key and unwraps every passcode-wrapped class key. False when the
    // password is wrong (an unwrap integrity check failed). Throws on absurd iteration counts, and
    // Cancelled, leaving the keybag locked, when cancel is set during the derivation.
    bool unlock(const QString& password, const std::atomic<bool>* cancel = nullptr);
    // unlock() with an already derived passcode key (no key stretching).
    bool unlockWithPasscodeKey(const QByteArray& passcodeKey);

    bool isUnlocked() const { return m_unlocked; }
    bool hasDoubleProtection() const { return !m_dpsl.isEmpty(); }

    quint32 version() const { return m_version; }
    quint32 type() const { return m_type; }
    QByteArray uuid() const { return m_uuid; }
    QByteArray salt() const { return m_salt; }
    quint64 iterations() const { return m_iter; }
    QByteArray dpsl() const { return m_dpsl; }
    quint64 dpic() const { return m_dpic; }
    const QMap<quint32, ClassKey>& classKeys() const { return m_classes; }

    // Key of a protection class after unlocking; empty when unknown.
    QByteArray classKey(quint32 protectionClass) const;
    // Unwraps a 40-byte wrapped file key with its class key; empty when that fails.
    QByteArray unwrapFileKey(quint32 protectionClass, const QByteArray& wrapped) const;
    // Wraps a 32-byte file key with the class key; empty when the class key is unknown.
    QByteArray wrapFileKey(quint32 protectionClass, const QByteArray& key) const;

    // Why a key blob does not unwrap: it is not 4 + 40 bytes long, its class is not in the keybag or
    // has no key after unlocking, or its wrapped key fails the unwrap's integrity check.
    enum class KeyFault { None, Length, NoClass, ClassLocked, Check };
    // Reads a stored key blob (4 bytes class LE + 40 bytes wrapped key) and unwraps it; empty when
    // that fails, *fault (when given) telling why.
    QByteArray unwrapKeyBlob(const QByteArray& blob, KeyFault* fault = nullptr) const;
    // The protection class a key blob of at least 4 bytes names.
    static quint32 keyBlobClass(const QByteArray& blob);

private:
    quint32 m_version = 0;
    quint32 m_type = 0;
    QByteArray m_uuid;
    QByteArray m_salt;
    quint64 m_iter = 0;
    QByteArray m_dpsl;
    quint64 m_dpic = 0;
    QMap<quint32, ClassKey> m_classes;
    bool m_unlocked = false;
};
