#include "platform/memory/profile_file.h"

#include <cstring>

#include "platform/image/ansi_text.h"
#include "platform/image/ascii_text.h"

namespace cvp::memory {
namespace {

// Wine's profile blanks: the C white space and Ctrl-Z, the old end-of-file mark.
bool IsProfileSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

std::string_view TrimProfile(std::string_view text) {
    while (!text.empty() && IsProfileSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsProfileSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Wine reads names and values as C strings: a NUL in a binary file ends them.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

ProfileFile::ProfileFile(std::string_view bytes) {
    const std::string text = FileTextAsAnsi(bytes);
    // Keys before the first section header belong to a section with no name.
    Section* current = &sections_[""];
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find_first_of("\r\n");
        ReadLine(TrimProfile(rest.substr(0, end)), &current);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
}

void ProfileFile::ReadLine(std::string_view line, Section** current) {
    if (line.empty() || line.front() == ';') return;
    const size_t close = line.rfind(']');
    if (line.front() == '[' && close != std::string_view::npos) {
        // The name is taken as written between the brackets. A later section of the
        // same name is never searched, so its keys are dropped.
        const std::string name = LowerCopy(UpToNul(line.substr(1, close - 1)));
        const auto [slot, added] = sections_.try_emplace(name);
        *current = added ? &slot->second : nullptr;
        return;
    }
    // A line without '=' is ignored. (Wine keeps it as a key without a value, which
    // answers with the default and hides a later "key=value" of the same name.)
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || *current == nullptr) return;
    const std::string key = LowerCopy(UpToNul(TrimProfile(line.substr(0, equals))));
    (*current)->try_emplace(key, UpToNul(TrimProfile(line.substr(equals + 1))));
}

const std::string* ProfileFile::Find(std::string_view section, std::string_view key) const {
    const auto foundSection = sections_.find(LowerCopy(TrimProfile(section)));
    if (foundSection == sections_.end()) return nullptr;
    const auto foundKey = foundSection->second.find(LowerCopy(TrimProfile(key)));
    return foundKey == foundSection->second.end() ? nullptr : &foundKey->second;
}

unsigned CopyProfileText(std::string_view text, bool unquote, char* buffer, unsigned size) {
    if (buffer == nullptr || size == 0) return 0;
    if (unquote && text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    const size_t count = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<unsigned>(count);
}

}  // namespace cvp::memory
