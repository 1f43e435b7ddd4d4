#pragma once

#include "app/AbsDb.h"
#include "messages/store/CountryInfo.h"

// The country rules database countries.db in the data folder, the program's own copy of the one in
// its resources: made again from them whenever the file does not open whole with its tables and
// their rows (missing, emptied, cut short, damaged), and opened lazily.
class CountryLibDb : public AbsDb
{
public:
    explicit CountryLibDb(const QString& mmc);
    ~CountryLibDb() override = default;

    void openCheck() override;
    _CountryInfo infoByMMC(const QString& mmc, bool* found);
    _CountryInfo infoByCode(const QString& code, bool* found);
    const _CountryInfo& defCountryInfo();

private:
    bool openWhole(const QString& target);
    _CountryInfo lookup(Sqlite3Sql sql, bool* found);

    QString m_mmc;
    _CountryInfo m_def;
};
