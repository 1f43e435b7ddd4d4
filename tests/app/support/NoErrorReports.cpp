// Test programs never reach the outside: error reports are switched off before main() in every
// suite. A suite that checks the report points it at a loopback server of its own.
#include "app/ErrorReport.h"

namespace
{

struct NoErrorReports {
    NoErrorReports() { ErrorReport::setServiceBase(QUrl()); }
};
NoErrorReports noErrorReports;

} // namespace
