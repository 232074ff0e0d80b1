// libpq opened on first use (see common/library_on_demand.hpp): ask
// LibpqAvailable() before the first call of a libpq function. A build that
// links libpq itself (CORVANNE_LIBPQ_SONAME not set) always has it.
#pragma once

#include <string>

#include "common/library_on_demand.hpp"

namespace corvanne {

#ifdef CORVANNE_LIBPQ_SONAME
LibraryOnDemand& Libpq();
inline bool LibpqAvailable(std::string& why) { return Libpq().Available(why); }
#else
inline bool LibpqAvailable(std::string& /*why*/) { return true; }
#endif

}  // namespace corvanne
