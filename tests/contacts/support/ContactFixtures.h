#pragma once

#include "contacts/store/LocalContactsDb.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace ContactFixtures
{
// Runs tools/gen/make_addressbook.py into a fresh temporary folder (files under their backup
// names) and returns the folder; empty when the generator failed.
QString generate(const QStringList& options);
// A store on a file in a fresh temporary folder.
std::unique_ptr<LocalContactsDb> newStore(QString* path = nullptr);
// A value of a query on the store's file, as text (rows joined by "|", columns by ",").
QString query(const QString& dbPath, const QString& sql);
// Runs SQL on a database file (created when missing); false on failure.
bool exec(const QString& dbPath, const QString& sql);
pim::Entity entity(std::initializer_list<std::pair<const char*, QVariant>> values);
} // namespace ContactFixtures
