// The machine as sorted text lines, for comparing two machines (the memory machine
// after a run and the registry Wine exported after the same run).
#include <algorithm>
#include <cstdio>

#include "platform/image/ascii_text.h"
#include "platform/memory/machine_state.h"

namespace cvp {
namespace {

using memory::RegKey;
using memory::RegValue;

bool IsPrintable(char c) { return c >= 0x20 && c <= 0x7E; }

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
            out.push_back(c);
        } else if (IsPrintable(c)) {
            out.push_back(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escape;
        }
    }
    return out + "\"";
}

// The strings of `data` when it is one or more printable strings, each NUL-terminated,
// with one more NUL after them when `multi`.
bool PrintableStrings(const std::vector<unsigned char>& data, bool multi,
                      std::vector<std::string>* strings) {
    std::string text(data.begin(), data.end());
    if (multi) {
        if (text.size() < 2 || text.compare(text.size() - 2, 2, std::string(2, '\0')) != 0)
            return false;
        text.pop_back();
    }
    if (text.empty() || text.back() != '\0') return false;
    text.pop_back();
    size_t start = 0;
    while (true) {
        const size_t end = std::min(text.find('\0', start), text.size());
        const std::string part = text.substr(start, end - start);
        if (part.empty() || !std::all_of(part.begin(), part.end(), IsPrintable)) return false;
        strings->push_back(part);
        if (end == text.size() || !multi) return end == text.size();
        start = end + 1;
    }
}

std::string HexData(const RegValue& value) {
    char type[24];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    std::string out = type;
    for (size_t i = 0; i < value.data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned>(value.data[i]));
        out += (i == 0 ? "" : ",") + std::string(byte);
    }
    return out;
}

std::string ValueData(const RegValue& value) {
    std::vector<std::string> strings;
    if ((value.type == kRegSz || value.type == kRegExpandSz) &&
        PrintableStrings(value.data, false, &strings)) {
        return (value.type == kRegSz ? "sz:" : "expand_sz:") + Quoted(strings[0]);
    }
    if (value.type == kRegMultiSz && PrintableStrings(value.data, true, &strings)) {
        std::string out = "multi_sz:";
        for (size_t i = 0; i < strings.size(); ++i) out += (i == 0 ? "" : ",") + Quoted(strings[i]);
        return out;
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        const unsigned number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<unsigned>(value.data[3]) << 24);
        char text[24];
        std::snprintf(text, sizeof text, "dword:%08x", number);
        return text;
    }
    return HexData(value);
}

// Keys are at most 512 levels deep, so the recursion is bounded.
void DumpKey(const RegKey& key, const std::string& path, std::vector<std::string>* lines) {
    lines->push_back(path);
    for (size_t i = 0; const RegValue* value = key.ValueAt(i); ++i) {
        lines->push_back(path + " " + Quoted(value->name) + " = " + ValueData(*value));
    }
    for (size_t i = 0; const RegKey* child = key.ChildAt(i); ++i) {
        DumpKey(*child, path + "\\" + child->name(), lines);
    }
}

// A subtree's key and its path spelled as the machine stores it.
const RegKey* FindSubtree(const memory::RegistryTree& registry, const std::string& subtree,
                          std::string* path) {
    const size_t slash = subtree.find('\\');
    Root root = Root::LocalMachine;
    if (!RootFromName(subtree.substr(0, slash), &root)) return nullptr;
    const KeyLocation where =
        CanonicalKey(root, slash == std::string::npos ? "" : subtree.substr(slash + 1));
    std::vector<std::string_view> names;
    std::string problem;
    if (!SplitKeyPath(where.path, &names, &problem)) return nullptr;
    const RegKey* key = &registry.RootKey(where.root);
    *path = RootName(where.root);
    for (std::string_view name : names) {
        key = key->FindChild(name);
        if (key == nullptr) return nullptr;
        *path += "\\" + key->name();
    }
    return key;
}

void DumpKeyDacl(const RegKey& key, const std::string& path,
                 std::map<std::string, std::string>* dacls) {
    (*dacls)[path] = FormatDaclSddl(key.dacl());
    for (size_t i = 0; const RegKey* child = key.ChildAt(i); ++i) {
        DumpKeyDacl(*child, path + "\\" + child->name(), dacls);
    }
}

void DumpFileNode(const memory::FileNode& node, const std::string& path,
                  std::vector<std::string>* lines) {
    for (const auto& child : node.children) {
        const std::string childPath = path + "/" + child.second->name;
        lines->push_back(childPath + (child.second->directory ? "/" : ""));
        if (child.second->directory) DumpFileNode(*child.second, childPath, lines);
    }
}

}  // namespace

// Lines sort without regard to case, so that a key's values come right after it and
// before its subkeys; HKEY_CLASSES_ROOT shows as HKLM\SOFTWARE\Classes.
std::vector<std::string> MemoryMachine::DumpRegistry(
    const std::vector<std::string>& subtrees) const {
    std::vector<std::string> lines;
    for (const std::string& subtree : subtrees) {
        std::string path;
        if (const RegKey* key = FindSubtree(state_->machine.registry, subtree, &path))
            DumpKey(*key, path, &lines);
    }
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(lines.size());
    for (std::string& line : lines) keyed.emplace_back(LowerCopy(line), std::move(line));
    std::sort(keyed.begin(), keyed.end());
    keyed.erase(std::unique(keyed.begin(), keyed.end()), keyed.end());
    lines.clear();
    for (auto& entry : keyed) lines.push_back(std::move(entry.second));
    return lines;
}

std::map<std::string, std::string> MemoryMachine::DumpKeyDacls(
    const std::vector<std::string>& subtrees) const {
    std::map<std::string, std::string> dacls;
    for (const std::string& subtree : subtrees) {
        std::string path;
        if (const RegKey* key = FindSubtree(state_->machine.registry, subtree, &path))
            DumpKeyDacl(*key, path, &dacls);
    }
    return dacls;
}

std::vector<std::string> MemoryMachine::DumpFiles() const {
    std::vector<std::string> lines;
    DumpFileNode(state_->machine.files.root(), "drive_c", &lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace cvp
