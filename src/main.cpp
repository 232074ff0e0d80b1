// corvanne: loads source-file lines into a SQL table (see README.md).
#include "run/startup.hpp"

#ifdef CORVANNE_HAVE_UI
#include "ui/attended.hpp"
#endif

int main(int argc, char** argv) {
#ifdef CORVANNE_HAVE_UI
  return corvanne::Main(argc, argv, corvanne::ui::StartAttended);
#else
  return corvanne::Main(argc, argv, {});
#endif
}
