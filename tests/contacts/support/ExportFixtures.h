#pragma once

#include "contacts/store/_Contact.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Contacts and checks for the export tests: sample contacts, the address books of the generator
// and of the real fixtures, and runs of the standard Python readers over written files.
namespace ExportFixtures
{
// A contact with the full name and, for each (kind, values) pair, one entity.
pim::_Contact contact(const QString& fullName,
    std::initializer_list<std::pair<int, std::initializer_list<std::pair<const char*, QVariant>>>> entities);
// A small PNG picture of the given size.
QByteArray png(int width = 8, int height = 8);
QByteArray jpeg(int width = 8, int height = 8);
// Every contact of the generated book (make_addressbook.py with options); empty on failure.
QList<pim::_Contact> generatedBook(const QStringList& options);
// Every contact of a copy of a real address book folder under fixtures/real; empty when absent.
QList<pim::_Contact> realBook(const QString& folder);
// The system Python with the standard readers (python3-vobject), or empty when it lacks them.
QString python(const QString& module = QString());
// Runs a Python script with arguments; returns its exit code and puts its output into out.
int runPython(const QString& script, const QStringList& args, QString* out);
} // namespace ExportFixtures
