// Placeholder entry until start-up lands.
#include "run/startup.hpp"

#include <iostream>

namespace corvanne {

int Main(int /*argc*/, char** /*argv*/, const AttendedStarter& /*attended*/) {
  std::cerr << "corvanne: not built yet\n";
  return static_cast<int>(ExitCode::kCouldNotStart);
}

}  // namespace corvanne
