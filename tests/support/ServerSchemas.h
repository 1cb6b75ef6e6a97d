#pragma once

#include <QString>

namespace kr::test {

// In a run of the tests with the shared tables on the suite's server: a database of its own
// (a schema dropped when the test ends) for one more installation in the same test, since
// KELVRAY_DATABASE names one for the whole test. Empty in a run on data files.
QString AnotherServerDatabase();

} // namespace kr::test
