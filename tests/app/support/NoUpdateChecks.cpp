// Test programs never reach the outside: the update check is switched off before main() in every
// suite. A suite that checks it points it at a loopback server of its own.
#include "app/UpdateChecker.h"

namespace
{

struct NoUpdateChecks {
    NoUpdateChecks() { UpdateChecker::setServiceBase(QUrl()); }
};
NoUpdateChecks noUpdateChecks;

} // namespace
