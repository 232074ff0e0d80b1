// The ODBC driver manager opened on first use (see
// common/library_on_demand.hpp): ask OdbcAvailable() before the first call
// of an ODBC function. A build that links it itself (CORVANNE_ODBC_SONAME
// not set, as on Windows) always has it.
#pragma once

#include <string>

#include "common/library_on_demand.hpp"

namespace corvanne {

#ifdef CORVANNE_ODBC_SONAME
LibraryOnDemand& OdbcLibrary();
inline bool OdbcAvailable(std::string& why) { return OdbcLibrary().Available(why); }
#else
inline bool OdbcAvailable(std::string& /*why*/) { return true; }
#endif

}  // namespace corvanne
