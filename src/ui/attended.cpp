// Placeholder until the window lands.
#include "ui/attended.hpp"

#include <iostream>

namespace corvanne::ui {

int StartAttended(int& /*argc*/, char** /*argv*/, AppState& /*state*/, const std::vector<Message>& /*startup_messages*/) {
  std::cerr << "corvanne: the window is not built yet; set UNATTENDED_YES_NO to YES to run unattended\n";
  return 2;
}

}  // namespace corvanne::ui
