// Shared libraries opened on first use; see library_on_demand.hpp.
#ifndef _WIN32
#include "common/library_on_demand.hpp"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace corvanne {

bool LibraryOnDemand::Available(std::string& why) {
  if (!tried_) {
    tried_ = true;
    handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      const char* reason = dlerror();
      error_ = reason != nullptr ? reason : "not found";
    }
  }
  if (handle_ == nullptr) why = std::string("cannot load ") + soname_ + ": " + error_;
  return handle_ != nullptr;
}

void* LibraryOnDemand::Symbol(const char* name) {
  std::string why;
  void* symbol = Available(why) ? dlsym(handle_, name) : nullptr;
  if (symbol == nullptr) {
    // Reached only when a caller skipped Available(), or the library lacks
    // a function this build was compiled against: nothing sensible is left.
    std::fprintf(stderr, "corvanne: %s has no function %s%s%s\n", soname_, name, why.empty() ? "" : ": ",
                 why.c_str());
    std::abort();
  }
  return symbol;
}

}  // namespace corvanne

#endif
