// An .ini or .inf file as GetPrivateProfileStringA reads it, with Wine's rules:
// section and key names match without regard to case and are trimmed; values are
// trimmed; a line starting with ';' is a comment, '#' is not; an inline "; comment"
// stays part of the value; no %string% substitution and no line continuation; the
// first section of a name and the first of duplicate keys in it win. ANSI and
// UTF-16LE-with-BOM files read alike.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace cvp::memory {

class ProfileFile {
  public:
    explicit ProfileFile(std::string_view bytes);

    // The value of `key` in section `section`, or null.
    const std::string* Find(std::string_view section, std::string_view key) const;

  private:
    using Section = std::unordered_map<std::string, std::string>;  // lower-case key -> value
    void ReadLine(std::string_view line, Section** current);

    std::unordered_map<std::string, Section> sections_;  // by lower-case name
};

// What GetPrivateProfileStringA copies into a buffer of `size`: quotes come off when
// the same quote character (' or ") opens and closes the whole value, then the text is
// cut to size - 1. Returns the characters copied.
unsigned CopyProfileText(std::string_view text, bool unquote, char* buffer, unsigned size);

}  // namespace cvp::memory
