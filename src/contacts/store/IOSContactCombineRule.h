#pragma once

#include "contacts/store/AbsContactCombineRule.h"

// The combine rule of the system's contacts (backup address books, local stores, devices). Name
// (1) and group (7) entities have no fields and are never merged; photo, nickname, note and
// organisation hold one entity per contact.
class IOSContactCombineRule : public AbsContactCombineRule
{
public:
    QStringList checkEmptyFields(int kind) override;
    QStringList checkEqualFieldsMin(int kind) override;
    QStringList checkEqualFieldsFull(int kind) override;
    QStringList validFields(int kind, bool& single) override;
};
