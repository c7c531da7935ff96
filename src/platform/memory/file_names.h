// How FindFirstFileA matches names: DOS wildcards, without regard to case, against
// the long name and the 8.3 short name Windows and Wine give a long one.
#pragma once

#include <string>
#include <string_view>

namespace cvp::memory {

// '*' and '?' wildcards, ASCII case ignored; "*.*" matches every name.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// A plausible short name for a name that is not a legal 8.3 name ("oem7.infx" gives
// "OEM7~1.INF"); "" for a name that is its own short name. The ~N tail is always ~1
// here: what matters to a pattern is the base and the three-letter extension.
std::string ShortNameOf(std::string_view name);

}  // namespace cvp::memory
