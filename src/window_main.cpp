// corvanne-window: Corvanne with its window, started by corvanne when a run
// is not unattended (or by hand); the same options and configuration.
#include "run/startup.hpp"
#include "ui/attended.hpp"

int main(int argc, char** argv) { return corvanne::Main(argc, argv, corvanne::ui::StartAttended); }
