// A shared library opened the first time a destination needs it, not when
// the program starts: a run into SQLite, --list and --help do not load the
// server clients and the libraries they bring (Kerberos, LDAP, TLS).
#pragma once

#include <string>

namespace corvanne {

class LibraryOnDemand {
 public:
  // `soname`: the file name the dynamic loader looks for, e.g. "libpq.so.5".
  explicit LibraryOnDemand(const char* soname) : soname_(soname) {}
  LibraryOnDemand(const LibraryOnDemand&) = delete;
  LibraryOnDemand& operator=(const LibraryOnDemand&) = delete;

  // Opens it once; false with `why` naming the library and the loader's
  // reason when it is not there.
  bool Available(std::string& why);
  // The function `name` of the library. Only after Available() said true:
  // a function missing then (a library too old) ends the program, naming it.
  void* Symbol(const char* name);

 private:
  const char* soname_;
  void* handle_ = nullptr;
  std::string error_;  // the loader's reason, once it failed
  bool tried_ = false;
};

}  // namespace corvanne

// Defines `name` with the library's own declaration (`ret`, `params`) as a
// call of its function in `library` (a LibraryOnDemand&), looked up once.
#define CORVANNE_FORWARD(library, ret, name, params, args)                                   \
  ret name params {                                                                          \
    static const auto real = reinterpret_cast<ret(*) params>((library).Symbol(#name));       \
    return real args;                                                                        \
  }
