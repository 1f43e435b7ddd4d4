#include "backup/BackupLoadFaults.h"

#include "backup/BackupManifest.h"

void BackupLoadFaults::add(const QString& name, const QString& text, const QString& copy)
{
    if (!contains(name))
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
        if (!contains(f.name))
            m_faults.append(f);
}

void BackupLoadFaults::markUnread(const QString& name)
{
    for (Fault& f : m_faults)
        f.unread = f.unread || f.name == name;
}

bool BackupLoadFaults::unread(const QString& name) const
{
    const Fault* f = find(name);
    return f && f->unread;
}

const BackupLoadFaults::Fault* BackupLoadFaults::find(const QString& name) const
{
    for (const Fault& f : m_faults)
        if (f.name == name)
            return &f;
    return nullptr;
}

QString BackupLoadFaults::of(const QString& name) const
{
    const Fault* f = find(name);
    return f ? BackupManifest::NotAsWritten::toldNow(f->text, f->copy) : QString();
}

QStringList BackupLoadFaults::texts() const
{
    QStringList texts;
    for (const Fault& f : m_faults)
        texts.append(BackupManifest::NotAsWritten::toldNow(f.text, f.copy));
    return texts;
}
