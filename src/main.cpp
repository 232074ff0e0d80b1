// corvanne: loads source-file lines into a SQL table (see README.md). No
// window library is loaded here: the window is a program of its own,
// started in this one's place only when a run wants it.
#include <string>
#include <vector>

#include "run/startup.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  return corvanne::Main(argc, argv, corvanne::WindowProgramStarter(args));
}
