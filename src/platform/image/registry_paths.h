// How registry key paths are spelled and checked, shared by the export reader, the
// manifest and the in-memory registry so that all three accept the same keys.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image/machine_image.h"

namespace cvp {

// Windows' limits: a key name of 255 characters, a value name of 16383, and a tree
// 512 levels deep.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr std::size_t kMaxKeyDepth = 512;

// Splits "A\B\C" into its key names; one trailing backslash is accepted, as
// RegOpenKeyExA does, and "" is the root itself. False with `problem` set for an
// empty name ("A\\B", a leading backslash), a name over 255 characters, a NUL, or a
// path deeper than the registry allows.
bool SplitKeyPath(std::string_view path, std::vector<std::string_view>* names,
                  std::string* problem);

std::string_view WithoutTrailingBackslash(std::string_view path);

// A key named below one of the roots the registry really holds: HKEY_CLASSES_ROOT is
// HKLM\SOFTWARE\Classes, as in Wine (Windows merges the user's classes into it). The
// path has no trailing backslash.
struct KeyLocation {
    Root root = Root::LocalMachine;
    std::string path;
};
KeyLocation CanonicalKey(Root root, std::string_view path);

// What applying `edits` in order leaves of the key at `key` (canonical): created
// by them, deleted by them, or neither, in which case whatever was there stays.
enum class KeyFate { Untouched, Present, Absent };
KeyFate KeyFateAfterEdits(const std::vector<RegistryEdit>& edits, const KeyLocation& key);

}  // namespace cvp
