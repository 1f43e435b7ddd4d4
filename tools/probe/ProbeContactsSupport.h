#pragma once

#include "contacts/store/IContactsDb.h"

#include <QDir>
#include <QString>
#include <memory>

// Shared steps of the contact commands: a private copy of the source, then the reader over it.
namespace ProbeContacts
{
// Copies SRC (an address book file, a cache folder, a local database folder or its contacts.db,
// or a backup, unlocked with the password from standard input) into work and returns the reader
// over the copy; kind is "addressbook" or "store" (a file is a store when it holds a store's
// tables, whatever its name). Throws std::runtime_error with a clear text.
std::unique_ptr<IContactsDb> openCopyThrow(const QString& src, const QDir& work, QString& kind);
} // namespace ProbeContacts
