#include "contacts/store/_Contact.h"

namespace pim
{

QString _Contact::shownName() const
{
    if (!fullName.trimmed().isEmpty())
        return fullName;
    for (const Entity& org : entities.value(KindOrg)) {
        const QString company = org.text(QStringLiteral("data1"));
        if (!company.trimmed().isEmpty())
            return company;
    }
    return fullName;
}

} // namespace pim
