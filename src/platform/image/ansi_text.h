// Text as the ANSI (...A) calls hand it out: one byte a character.
#pragma once

#include <string>
#include <string_view>

namespace cvp {

// UTF-16LE code units to single bytes: a unit below 0x100 becomes that byte, any
// other becomes '?', as a conversion to the ANSI code page of a Western system does.
// False when `bytes` has an odd length.
bool Utf16LeToAnsi(std::string_view bytes, std::string* text);

// The other way: each byte becomes the UTF-16LE code unit of the same number, so that
// Utf16LeToAnsi gives the bytes back exactly.
std::string AnsiToUtf16Le(std::string_view text);

// Whether `bytes` starts with the UTF-16LE byte order mark FF FE.
bool HasUtf16LeBom(std::string_view bytes);

// The text of a file that may be UTF-16LE with a BOM (converted as above, a trailing
// odd byte dropped), UTF-8 with a BOM (the BOM dropped) or ANSI (as it is).
std::string FileTextAsAnsi(std::string_view bytes);

}  // namespace cvp
