#include "platform/image/registry_paths.h"

#include "platform/image/ascii_text.h"

namespace cvp {
namespace {

// Whether `inner` is `outer` or lies below it; both lower case, canonical.
bool IsSelfOrBelow(std::string_view inner, std::string_view outer) {
    if (outer.empty()) return true;
    if (inner.size() < outer.size() || inner.substr(0, outer.size()) != outer) return false;
    return inner.size() == outer.size() || inner[outer.size()] == '\\';
}

}  // namespace

std::string_view WithoutTrailingBackslash(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string_view>* names,
                  std::string* problem) {
    names->clear();
    path = WithoutTrailingBackslash(path);
    if (path.empty()) return true;
    size_t start = 0;
    while (true) {
        const size_t end = path.find('\\', start);
        const std::string_view name = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (name.empty()) {
            *problem = "empty key name in path";
            return false;
        }
        if (name.size() > kMaxKeyNameLength) {
            *problem = "key name longer than 255 characters";
            return false;
        }
        if (name.find('\0') != std::string_view::npos) {
            *problem = "NUL character in key name";
            return false;
        }
        if (names->size() == kMaxKeyDepth) {
            *problem = "key path deeper than 512 levels";
            return false;
        }
        names->push_back(name);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

KeyLocation CanonicalKey(Root root, std::string_view path) {
    path = WithoutTrailingBackslash(path);
    if (root != Root::ClassesRoot) return {root, std::string(path)};
    std::string classes = "SOFTWARE\\Classes";
    if (!path.empty()) classes.append("\\").append(path);
    return {Root::LocalMachine, classes};
}

KeyFate KeyFateAfterEdits(const std::vector<RegistryEdit>& edits, const KeyLocation& key) {
    const std::string wanted = LowerCopy(key.path);
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
        const KeyLocation where = CanonicalKey(edit->root, edit->path);
        if (where.root != key.root) continue;
        const std::string path = LowerCopy(where.path);
        switch (edit->kind) {
            case RegistryEdit::Kind::CreateKey:
            case RegistryEdit::Kind::SetValue:
                if (IsSelfOrBelow(path, wanted)) return KeyFate::Present;
                break;
            case RegistryEdit::Kind::DeleteKey:
                if (IsSelfOrBelow(wanted, path)) return KeyFate::Absent;
                break;
            case RegistryEdit::Kind::DeleteValue:
                break;
        }
    }
    return KeyFate::Untouched;
}

}  // namespace cvp
