// corvanne --init: a commented starting configuration for the SQLite engine,
// so that a first run needs no server. Reading configurations is config/'s job.
#pragma once

#include <ostream>
#include <string>

namespace corvanne {

// The text of the starting configuration: the SQLite engine with a database
// file beside the configuration, the folder list and the extensions to fill
// in, an unattended run; comments say what each key does. Lines end in CR LF.
// No comment holds a key's tag, since a tag inside a comment is read too.
std::string StarterConfigText();

// Writes StarterConfigText() to `path` unless something is there already.
// Says on `out` what was written and what to fill in; on `err` why nothing
// was written. Returns the exit status: 0 written, 2 refused or failed.
int WriteStarterConfig(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace corvanne
