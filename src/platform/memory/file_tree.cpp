#include "platform/memory/file_tree.h"

#include "platform/image/ascii_text.h"
#include "platform/image/windows_names.h"
#include "platform/memory/profile_file.h"

namespace cvp::memory {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void AppendNames(std::string_view text, std::vector<std::string>* names) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view name = text.substr(start, end - start);
        if (name == "..") {
            if (!names->empty()) names->pop_back();
        } else if (!name.empty() && name != ".") {
            names->emplace_back(name);
        }
        start = end + 1;
    }
}

}  // namespace

FileTree::FileTree() : root_(std::make_unique<FileNode>()) {
    root_->name = "C:";
    root_->directory = true;
    root_->attributes = kAttrDirectory;
}

bool FileTree::Resolve(std::string_view text, FilePath* path) const {
    if (text.empty() || text.size() > kMaxFilePathLength) return false;
    FilePath out;
    out.trailingSeparator = IsSeparator(text.back());
    if (text.size() >= 2 && text[1] == ':') {
        if (UpperAscii(text[0]) != 'C') return false;
        text.remove_prefix(2);
        if (text.empty() || !IsSeparator(text.front())) out.names = currentDirectory_;
    } else if (IsSeparator(text.front())) {
        if (text.size() >= 2 && IsSeparator(text[1])) return false;
    } else {
        out.names = currentDirectory_;
    }
    AppendNames(text, &out.names);
    *path = std::move(out);
    return true;
}

FileNode* FileTree::Find(const std::vector<std::string>& names) const {
    FileNode* node = root_.get();
    for (const std::string& name : names) {
        const auto found = node->children.find(UpperCopy(name));
        if (found == node->children.end()) return nullptr;
        node = found->second.get();
    }
    return node;
}

FileNode* FileTree::Put(const std::vector<std::string>& names, bool directory) {
    if (!CanPut(names, directory)) return nullptr;
    FileNode* node = root_.get();
    for (size_t i = 0; i < names.size(); ++i) {
        auto& slot = node->children[UpperCopy(names[i])];
        if (!slot) {
            slot = std::make_unique<FileNode>();
            slot->name = names[i];
            slot->directory = directory || i + 1 < names.size();
            slot->attributes = slot->directory ? kAttrDirectory : kAttrArchive;
        }
        node = slot.get();
    }
    return node;
}

// Checked whole before anything is created, so that a refused Put changes nothing.
bool FileTree::CanPut(const std::vector<std::string>& names, bool directory) const {
    const FileNode* node = root_.get();
    for (size_t i = 0; i < names.size(); ++i) {
        if (!IsWindowsFileName(names[i])) return false;
        if (node == nullptr) continue;
        const auto found = node->children.find(UpperCopy(names[i]));
        node = found == node->children.end() ? nullptr : found->second.get();
        const bool wantDirectory = directory || i + 1 < names.size();
        if (node != nullptr && node->directory != wantDirectory) return false;
    }
    return true;
}

bool FileTree::Remove(const std::vector<std::string>& names) {
    if (names.empty()) return false;
    FileNode* parent = Find(std::vector<std::string>(names.begin(), names.end() - 1));
    return parent != nullptr && parent->children.erase(UpperCopy(names.back())) == 1;
}

std::string FileTree::Key(const std::vector<std::string>& names) {
    std::string key = "C:";
    for (const std::string& name : names) key += "\\" + UpperCopy(name);
    return key;
}

}  // namespace cvp::memory
