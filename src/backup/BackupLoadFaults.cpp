#include "backup/BackupLoadFaults.h"

#include "backup/BackupManifest.h"

void BackupLoadFaults::add(const QString& name, const QString& text, const QString& copy)
{
    for (const Fault& f : std::as_const(m_faults))
        if (f.name == name)
            return;
    m_faults.append({ name, text, copy });
}

void BackupLoadFaults::add(
    const QString& name, const QString& prefix, const std::exception& e, const QString& suffix)
{
    const auto* notAsWritten = dynamic_cast<const BackupManifest::NotAsWritten*>(&e);
    add(name, prefix + QString::fromUtf8(e.what()) + suffix, notAsWritten ? notAsWritten->copy() : QString());
}

void BackupLoadFaults::add(const BackupLoadFaults& other)
{
    for (const Fault& f : other.m_faults)
        add(f.name, f.text, f.copy);
}

QString BackupLoadFaults::of(const QString& name) const
{
    for (const Fault& f : m_faults)
        if (f.name == name)
            return BackupManifest::NotAsWritten::toldNow(f.text, f.copy);
    return QString();
}

QStringList BackupLoadFaults::texts() const
{
    QStringList texts;
    for (const Fault& f : m_faults)
        texts.append(BackupManifest::NotAsWritten::toldNow(f.text, f.copy));
    return texts;
}
