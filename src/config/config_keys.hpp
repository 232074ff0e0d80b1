// Every configuration key Corvanne reads, in one list, and the check of a
// configuration text for tags that look like keys but are not read as such.
#pragma once

#include <string_view>
#include <vector>

#include "config/findings.hpp"

namespace corvanne {

// The keys Corvanne reads, upper case, in no particular order. A key read
// anywhere must be in this list, or --check calls it unknown.
const std::vector<std::string_view>& KnownKeys();

// True when `name` is exactly one of KnownKeys().
bool IsKnownKey(std::string_view name);

// The known key nearest to `name` (letter case ignored) when it is close
// enough to be a slip of the pen (a few letters dropped, added, changed or
// swapped); empty otherwise.
std::string_view NearestKnownKey(std::string_view name);

// Appends a warning, with its line number, for each <NAME>value</NAME> pair
// of `config_text` that is not read as written: an unknown name, a known key
// in another letter case, a known key given twice (the first counts), and a
// known key whose first occurrence stands inside an XML comment (it is read
// all the same), and a flag (a key ending in _YES_NO) whose value is neither
// YES nor NO (it is off). An unknown name close to a known key names it. A
// pair whose value holds a closing tag encloses other keys and is not a key
// itself; unknown names inside comments are not reported.
void CheckConfigKeys(std::string_view config_text, Findings& findings);

}  // namespace corvanne
