#include "platform/image/machine_manifest.h"

#include <map>
#include <string_view>

#include "platform/image/ascii_text.h"
#include "platform/image/registry_paths.h"
#include "platform/image/sddl.h"
#include "platform/image/windows_names.h"

namespace cvp {
namespace {

// "C:\a\b" as the image names it, from either slash, either case of the drive letter
// and a trailing backslash. False for any other drive, a relative path, a name Win32
// can't create, or a path longer than MAX_PATH allows.
bool ImagePath(std::string_view text, std::string* path) {
    if (text.size() < 3 || text.size() > kMaxFilePathLength + 1 || UpperAscii(text[0]) != 'C' ||
        text[1] != ':' || (text[2] != '\\' && text[2] != '/')) {
        return false;
    }
    std::string out = "C:";
    size_t start = 3;
    while (start < text.size()) {
        size_t end = text.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view name = text.substr(start, end - start);
        if (name.empty() && end != text.size() - 1) return false;
        if (!name.empty() && !IsWindowsFileName(name)) return false;
        if (!name.empty()) out.append("\\").append(name);
        start = end + 1;
    }
    if (out.size() == 2) return false;
    *path = std::move(out);
    return true;
}

std::string ParentPath(const std::string& path) { return path.substr(0, path.rfind('\\')); }

class ManifestReader {
  public:
    explicit ManifestReader(MachineImage image) : image_(std::move(image)) {
        for (size_t i = 0; i < image_.files.size(); ++i)
            index_[UpperCopy(image_.files[i].path)] = i;
    }

    bool Read(std::string_view text) {
        while (!text.empty()) {
            const size_t end = text.find('\n');
            const std::string_view line = TrimBlanks(text.substr(0, end));
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            ++lineNumber_;
            if (line.empty() || line.front() == '#') continue;
            if (!ReadDirective(line)) return false;
        }
        return true;
    }

    MachineImage& image() { return image_; }
    const std::string& error() const { return error_; }

  private:
    bool ReadDirective(std::string_view line) {
        const size_t blank = line.find_first_of(" \t");
        const std::string_view directive = line.substr(0, blank);
        const std::string_view rest =
            blank == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(blank));
        if (directive == "attributes") return ReadAttributes(rest);
        if (directive == "directory") return ReadDirectory(rest);
        if (directive == "dacl") return ReadDacl(rest);
        if (directive == "locked") return ReadLocked(rest);
        if (directive == "module") return ReadModule(rest);
        return Fail("unknown directive '" + std::string(directive) + "'");
    }

    bool Fail(const std::string& what) {
        error_ = "machine.txt:" + std::to_string(lineNumber_) + ": " + what;
        return false;
    }

    // Splits "PATH FIELD" at the last blank.
    bool SplitLastField(std::string_view rest, std::string_view* path, std::string_view* field) {
        const size_t blank = rest.find_last_of(" \t");
        if (blank == std::string_view::npos) return Fail("expected a path and a field");
        *path = TrimBlanks(rest.substr(0, blank));
        *field = rest.substr(blank + 1);
        return true;
    }

    ImageFile* FindFile(std::string_view text, std::string* path) {
        if (!ImagePath(text, path)) return nullptr;
        const auto found = index_.find(UpperCopy(*path));
        return found == index_.end() ? nullptr : &image_.files[found->second];
    }

    bool ReadAttributes(std::string_view rest) {
        std::string_view pathText;
        std::string_view letters;
        if (!SplitLastField(rest, &pathText, &letters)) return false;
        Dword bits = 0;
        if (!ParseAttributeLetters(letters, &bits)) {
            return Fail("bad attribute letters '" + std::string(letters) + "' (R H S A or -)");
        }
        std::string path;
        ImageFile* file = FindFile(pathText, &path);
        if (file == nullptr)
            return Fail("no such file or directory in the image: " + std::string(pathText));
        file->attributes = ReportedAttributes(file->directory, bits);
        return true;
    }

    static bool ParseAttributeLetters(std::string_view letters, Dword* bits) {
        if (letters == "-") return true;
        for (char letter : letters) {
            switch (UpperAscii(letter)) {
                case 'R':
                    *bits |= kAttrReadOnly;
                    break;
                case 'H':
                    *bits |= kAttrHidden;
                    break;
                case 'S':
                    *bits |= kAttrSystem;
                    break;
                case 'A':
                    *bits |= kAttrArchive;
                    break;
                default:
                    return false;
            }
        }
        return !letters.empty();
    }

    bool ReadDirectory(std::string_view rest) {
        std::string path;
        if (!ImagePath(rest, &path)) return Fail("expected a path on C: ('C:\\...')");
        return AddDirectoryChain(path);
    }

    // The directory and any missing parent, parents first.
    bool AddDirectoryChain(const std::string& path) {
        if (path.size() == 2) return true;  // "C:"
        const auto found = index_.find(UpperCopy(path));
        if (found != index_.end()) {
            if (image_.files[found->second].directory) return true;
            return Fail("a file of the image is in the way: " + path);
        }
        if (!AddDirectoryChain(ParentPath(path))) return false;
        ImageFile directory;
        directory.path = path;
        directory.directory = true;
        directory.attributes = kAttrDirectory;
        index_[UpperCopy(path)] = image_.files.size();
        image_.files.push_back(std::move(directory));
        return true;
    }

    bool ReadDacl(std::string_view rest) {
        std::string_view keyText;
        std::string_view sddl;
        if (!SplitLastField(rest, &keyText, &sddl)) return false;
        Dacl parsed;
        if (!ParseDaclSddl(sddl, &parsed)) return Fail("bad SDDL DACL '" + std::string(sddl) + "'");
        const size_t slash = keyText.find('\\');
        Root root = Root::LocalMachine;
        if (!RootFromName(std::string(keyText.substr(0, slash)), &root)) {
            return Fail("expected a key path under HKEY_...");
        }
        const std::string_view path =
            slash == std::string_view::npos ? std::string_view() : keyText.substr(slash + 1);
        std::vector<std::string_view> names;
        std::string problem;
        if (!SplitKeyPath(path, &names, &problem)) return Fail(problem);
        const KeyLocation key = CanonicalKey(root, path);
        // A root always exists; any other key must be one the export creates.
        if (!names.empty() && KeyFateAfterEdits(image_.registry, key) != KeyFate::Present) {
            return Fail("no such key in the image: " + std::string(keyText));
        }
        image_.dacls.push_back(
            {root, std::string(WithoutTrailingBackslash(path)), std::string(sddl)});
        return true;
    }

    bool ReadLocked(std::string_view rest) {
        std::string path;
        const ImageFile* file = FindFile(rest, &path);
        if (file == nullptr || file->directory) {
            return Fail("no such file in the image: " + std::string(rest));
        }
        image_.lockedFiles.push_back(file->path);
        return true;
    }

    // Under Wine the harness puts a real, unregistrable module in the file's place;
    // the in-memory machine's regsvr32 needs nothing more than the file.
    bool ReadModule(std::string_view rest) {
        std::string path;
        const ImageFile* file = FindFile(rest, &path);
        if (file == nullptr || file->directory) {
            return Fail("no such file in the image: " + std::string(rest));
        }
        return true;
    }

    MachineImage image_;
    std::map<std::string, size_t> index_;  // upper-case path -> image_.files
    int lineNumber_ = 0;
    std::string error_;
};

}  // namespace

Dword ReportedAttributes(bool directory, Dword bits) {
    bits &= ~(kAttrDirectory | kAttrNormal);
    if (directory) return bits | kAttrDirectory;
    return bits == 0 ? kAttrNormal : bits;
}

bool ReadMachineManifest(const std::string& text, MachineImage* image, std::string* error) {
    ManifestReader reader(*image);
    if (!reader.Read(text)) {
        *error = reader.error();
        return false;
    }
    *image = std::move(reader.image());
    return true;
}

}  // namespace cvp
