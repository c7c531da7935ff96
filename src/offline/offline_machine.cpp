#include "offline/offline_machine.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <string_view>
#include <vector>

#include "changes/registry_capture.h"
#include "platform/image/ascii_text.h"
#include "platform/image/registry_paths.h"
#include "platform/image/text_lines.h"

namespace cvp {
namespace {

// The machine's own Windows folder, which the listing's is read as.
constexpr std::string_view kWindowsFolder = "C:\\windows";
constexpr std::size_t kBatch = 4096;
constexpr std::string_view kInfMarker = "===== ";

// The registry areas a run reads, lower case below HKEY_LOCAL_MACHINE: in each control
// set it visits, the Enum, Services, class, interface, media and medium-cache keys, and
// the class identifiers.
std::vector<std::string> AreasTheRunReads() {
    std::vector<std::string> areas = {"software\\classes\\clsid", "system\\select"};
    for (const char* set : {"currentcontrolset", "controlset001", "controlset003"}) {
        for (const char* area : {"enum", "services", "control\\class", "control\\deviceclasses",
                                 "control\\mediacategories", "control\\mediainterfaces",
                                 "control\\mediasets", "control\\mediumcache"}) {
            areas.push_back(std::string("system\\") + set + "\\" + area);
        }
    }
    return areas;
}

enum class Kept { No, KeyOnly, Yes };

// A key in an area is kept whole; a key above one only as a key, without its values.
Kept KeptByRun(const KeyLocation& key) {
    static const std::vector<std::string> areas = AreasTheRunReads();
    if (key.root != Root::LocalMachine) return Kept::No;
    const std::string path = LowerCopy(key.path);
    Kept kept = Kept::No;
    for (const std::string& area : areas) {
        if (path.compare(0, area.size(), area) == 0 &&
            (path.size() == area.size() || path[area.size()] == '\\')) {
            return Kept::Yes;
        }
        if (path.empty() ||
            (area.compare(0, path.size(), path) == 0 && area[path.size()] == '\\')) {
            kept = Kept::KeyOnly;
        }
    }
    return kept;
}

std::string Where(const std::string& fileName, int line) {
    return fileName + ":" + std::to_string(line) + ": ";
}

constexpr std::string_view kSystem = "system\\";
constexpr std::uint64_t kDigestStart = 14695981039346656037ull;

// FNV-1a, a byte at a time.
void Digest(std::uint64_t* digest, std::string_view bytes) {
    for (unsigned char byte : bytes) *digest = (*digest ^ byte) * 1099511628211ull;
    *digest = (*digest ^ 0xFF) * 1099511628211ull;  // ends the field
}

// The control set a lower-case path below HKLM lies in ("controlset001"), and the rest
// of the path below it; false outside the control sets.
bool InControlSet(const std::string& path, std::string* set, std::string* rest) {
    if (path.compare(0, kSystem.size(), kSystem) != 0) return false;
    const size_t end = path.find('\\', kSystem.size());
    *set = path.substr(kSystem.size(), end == std::string::npos ? end : end - kSystem.size());
    *rest = end == std::string::npos ? "" : path.substr(end);
    return *set == "currentcontrolset" || set->rfind("controlset", 0) == 0;
}

// The folders below the Windows folder whose files a run looks at, lower case; and the
// TWAIN folder, whose whole tree it removes.
bool FileKept(const std::string& relative) {
    const std::string lower = LowerCopy(relative);
    const size_t slash = lower.rfind('\\');
    const std::string folder = slash == std::string::npos ? "" : lower.substr(0, slash);
    return folder.empty() || folder == "inf" || folder == "system32" ||
           folder == "system32\\drivers" || lower.rfind("twain_32\\", 0) == 0;
}

bool FolderKept(const std::string& relative) {
    const std::string lower = LowerCopy(relative);
    return lower == "twain_32" || lower.rfind("twain_32\\", 0) == 0;
}

// Reads the listing into image files below the machine's Windows folder.
class ListingReader {
  public:
    ListingReader(const std::string& fileName, LineSource& lines, const OfflineLimits& limits)
        : fileName_(fileName), lines_(lines), limits_(limits) {}

    bool Read(MachineImage* image, std::string* windowsFolder, std::string* error) {
        std::string_view line;
        enum class Part { Folders, Files, Infs } part = Part::Folders;
        ImageFile* inf = nullptr;
        while (Next(&line)) {
            if (part != Part::Infs && TrimBlanks(line).empty()) {
                part = part == Part::Folders ? Part::Files : Part::Infs;
                continue;
            }
            if (part == Part::Infs) {
                if (!ReadInfLine(line, &inf)) break;
                continue;
            }
            std::string relative;
            if (!Relative(line, &relative)) break;
            if (part == Part::Folders ? FolderKept(relative) : FileKept(relative)) {
                Add(relative, part == Part::Folders);
            }
        }
        if (!error_.empty()) {
            *error = error_;
            return false;
        }
        Finish(image);
        *windowsFolder = root_;
        return true;
    }

  private:
    bool Next(std::string_view* line) {
        std::string problem;
        if (lines_.Next(line, &problem)) {
            while (!line->empty() && line->back() == '\r') line->remove_suffix(1);
            return true;
        }
        if (!problem.empty()) Fail(problem);
        return false;
    }

    bool Fail(const std::string& what) {
        if (error_.empty()) error_ = Where(fileName_, lines_.number()) + what;
        return false;
    }

    // The path below the Windows folder, which the first line names the parent of.
    bool Relative(std::string_view line, std::string* relative) {
        line = TrimBlanks(line);
        const bool full =
            line.size() > 3 && line[1] == ':' && line[2] == '\\' &&
            ((line[0] >= 'A' && line[0] <= 'Z') || (line[0] >= 'a' && line[0] <= 'z'));
        if (!full) {
            return Fail("not a folder listing: each line is a full path, as dir /s /b writes it");
        }
        if (root_.empty()) root_ = std::string(line.substr(0, line.rfind('\\')));
        if (line.size() <= root_.size() + 1 || line[root_.size()] != '\\' ||
            !EqualsNoCase(line.substr(0, root_.size()), root_)) {
            return Fail("not below the Windows folder " + root_ + ", as the first line is");
        }
        *relative = std::string(line.substr(root_.size() + 1));
        return true;
    }

    void Add(const std::string& relative, bool folder) {
        const std::string lower = LowerCopy(relative);
        if (folder) {
            folders_.insert(lower);
        } else {
            files_.push_back(
                {std::string(kWindowsFolder) + "\\" + relative, false, kAttrArchive, ""});
        }
        // A file's folders are folders, listed or not.
        for (size_t slash = lower.find('\\'); slash != std::string::npos;
             slash = lower.find('\\', slash + 1)) {
            folders_.insert(lower.substr(0, slash));
        }
        if (folders_.size() + files_.size() > limits_.files) {
            Fail("more than " + std::to_string(limits_.files) +
                 " files and folders in the folders a run looks in");
        }
    }

    // "===== PATH" opens an INF file's text, which runs to the next one.
    bool ReadInfLine(std::string_view line, ImageFile** inf) {
        if (line.substr(0, kInfMarker.size()) == kInfMarker) {
            std::string relative;
            if (!Relative(line.substr(kInfMarker.size()), &relative)) return false;
            const std::string path = std::string(kWindowsFolder) + "\\" + relative;
            *inf = nullptr;
            for (ImageFile& file : files_) {
                if (EqualsNoCase(file.path, path)) *inf = &file;
            }
            if (*inf == nullptr && FileKept(relative)) {
                files_.push_back({path, false, kAttrArchive, ""});
                *inf = &files_.back();
            }
            return true;
        }
        if (*inf == nullptr) return true;
        infBytes_ += line.size() + 2;
        if (infBytes_ > limits_.infBytes) {
            return Fail("more than " + std::to_string(limits_.infBytes >> 20) + " MiB of INF text");
        }
        (*inf)->content.append(line).append("\r\n");
        return true;
    }

    // Folders first, each after the one above it; the empty line each INF text ends with
    // (the listing's separator) goes.
    void Finish(MachineImage* image) {
        std::vector<std::string> folders(folders_.begin(), folders_.end());
        std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
            return std::count(a.begin(), a.end(), '\\') < std::count(b.begin(), b.end(), '\\');
        });
        for (const std::string& folder : folders) {
            if (folder == "inf" || folder == "system32" || folder == "system32\\drivers") continue;
            image->files.push_back(
                {std::string(kWindowsFolder) + "\\" + folder, true, kAttrDirectory, ""});
        }
        for (ImageFile& file : files_) {
            while (file.content.size() >= 4 &&
                   file.content.compare(file.content.size() - 4, 4, "\r\n\r\n") == 0) {
                file.content.resize(file.content.size() - 2);
            }
            image->files.push_back(std::move(file));
        }
    }

    const std::string& fileName_;
    LineSource& lines_;
    const OfflineLimits& limits_;
    std::string error_;
    std::string root_;               // the Windows folder as the listing spells it
    std::set<std::string> folders_;  // kept, lower case, below the Windows folder
    std::vector<ImageFile> files_;
    std::size_t infBytes_ = 0;
};

}  // namespace

OfflineMachine::OfflineMachine(OfflineLimits limits) : limits_(limits) {
    machine_.ListStartedDevices();
}

bool OfflineMachine::Keep(RegistryEdit&& edit, std::string* reason) {
    const Kept kept = KeptByRun(CanonicalKey(edit.root, edit.path));
    const bool keyEdit =
        edit.kind == RegistryEdit::Kind::CreateKey || edit.kind == RegistryEdit::Kind::DeleteKey;
    if (kept == Kept::No || (kept == Kept::KeyOnly && !keyEdit)) return true;
    if (edit.kind != RegistryEdit::Kind::DeleteKey) ++entries_;
    dataBytes_ += edit.data.size();
    std::string set;
    std::string rest;
    if (InControlSet(LowerCopy(CanonicalKey(edit.root, edit.path).path), &set, &rest)) {
        const auto inserted = setDigests_.emplace(set, kDigestStart);
        std::uint64_t* digest = &inserted.first->second;
        Digest(digest, std::string(1, static_cast<char>(edit.kind)) + rest);
        Digest(digest, LowerCopy(edit.valueName) + '\0' + std::to_string(edit.type));
        Digest(digest,
               std::string_view(reinterpret_cast<const char*>(edit.data.data()), edit.data.size()));
    }
    if (entries_ > limits_.entries || dataBytes_ > limits_.dataBytes) {
        *reason = "the areas a run reads hold more than " + std::to_string(limits_.entries) +
                  " keys and values or " + std::to_string(limits_.dataBytes >> 20) +
                  " MiB of data here; the offline preview holds them in memory and stops";
        return false;
    }
    pending_.registry.push_back(std::move(edit));
    return pending_.registry.size() < kBatch || ApplyPending(reason);
}

bool OfflineMachine::ApplyPending(std::string* error) {
    const bool applied = machine_.Apply(pending_, error);
    pending_ = MachineImage();
    return applied;
}

bool OfflineMachine::ReadExport(const std::string& fileName, std::istream& in, std::string* error) {
    const EditSink take = [this](RegistryEdit&& edit, std::string* reason) {
        return Keep(std::move(edit), reason);
    };
    std::string problem;
    if (!StreamRegistryExport(fileName, in, take, error)) {
        pending_ = MachineImage();
        return false;
    }
    if (!ApplyPending(&problem)) {
        *error = fileName + ": " + problem;
        return false;
    }
    return true;
}

bool OfflineMachine::ReadListing(const std::string& fileName, std::istream& in,
                                 std::string* error) {
    StreamLines lines(in);
    MachineImage image;
    if (!ListingReader(fileName, lines, limits_).Read(&image, &windowsFolder_, error)) return false;
    std::string problem;
    if (!machine_.Apply(image, &problem)) {
        *error = fileName + ": " + problem;
        return false;
    }
    return true;
}

Platform OfflineMachine::platform() {
    FindCurrentControlSetLink();
    return link_.platform();
}

void OfflineMachine::FindCurrentControlSetLink() {
    std::unique_ptr<RegistryKey> select;
    Dword current = 0;
    Dword size = sizeof current;
    if (machine_.OpenKey(Root::LocalMachine, "SYSTEM\\Select", kKeyRead, &select) !=
            kErrorSuccess ||
        select->QueryValue("Current", nullptr, reinterpret_cast<unsigned char*>(&current), &size) !=
            kErrorSuccess ||
        current == 0 || current > 999) {
        return;
    }
    char name[16];
    std::snprintf(name, sizeof name, "ControlSet%03u", static_cast<unsigned>(current));
    const auto linked = setDigests_.find(LowerCopy(name));
    if (linked == setDigests_.end()) return;
    const auto own = setDigests_.find("currentcontrolset");
    if (own == setDigests_.end()) {
        CopyControlSet(name);
        setDigests_["currentcontrolset"] = linked->second;
    } else if (own->second != linked->second) {
        return;  // a control set of its own, as Wine keeps it
    }
    link_.target = std::string("\\REGISTRY\\MACHINE\\SYSTEM\\") + name;
}

// An export that holds the numbered set alone: CurrentControlSet is made of it, as the
// link would show it.
void OfflineMachine::CopyControlSet(const std::string& name) {
    std::vector<CapturedKey> keys;
    const std::string from = "SYSTEM\\" + name;
    CaptureKeyTree(machine_, Root::LocalMachine, from, &keys);
    MachineImage copy;
    for (const CapturedKey& key : keys) {
        const std::string path = "SYSTEM\\CurrentControlSet" + key.path.substr(from.size());
        copy.registry.push_back(
            {RegistryEdit::Kind::CreateKey, Root::LocalMachine, path, "", 0, {}});
        for (const CapturedValue& value : key.values) {
            copy.registry.push_back(
                {RegistryEdit::Kind::SetValue, Root::LocalMachine, path, value.name, value.type,
                 std::vector<unsigned char>(value.data.begin(), value.data.end())});
        }
    }
    // Keys and values read from the machine itself: nothing in them can be refused.
    std::string error;
    machine_.Apply(copy, &error);
}

Long OfflineMachine::ExportedLink::ReadKeyLink(Root root, const char* path, std::string* linked) {
    if (target.empty() || root != Root::LocalMachine ||
        !EqualsNoCase(WithoutTrailingBackslash(path), "SYSTEM\\CurrentControlSet")) {
        return ForwardingPlatform::ReadKeyLink(root, path, linked);
    }
    *linked = target;
    return kErrorSuccess;
}

std::string OfflineMachine::AsListed(const std::string& text) const {
    if (windowsFolder_.empty() || windowsFolder_ == kWindowsFolder) return text;
    const std::string from = std::string(kWindowsFolder) + "\\";
    const std::string to = windowsFolder_ + "\\";
    std::string listed;
    size_t start = 0;
    for (size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size()) {
        listed.append(text, start, at - start).append(to);
    }
    return listed.append(text, start, std::string::npos);
}

}  // namespace cvp
