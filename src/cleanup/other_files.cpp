#include <cstdio>
#include <cstring>

#include "cleanup/file_stages.h"
#include "run/family_catalogue.h"
#include "run/progress.h"

namespace cvp {
namespace {

constexpr const char* kWisFiles[] = {
    "fix_setting.txt", "go7007fw.bin", "go7007fw_pf.bin", "go7007sb.bin",
    "video_profiles.txt", "Chn16_1.osd", "Chn16_2.osd", "Chn_hollow.osd",
    "Eng16_1.osd", "Eng16_2.osd", "Eng_hollow.osd",
};

Dword SwitchedAttributes(Dword attributes, int hidden, int readOnly, int system) {
    const auto set = [&](Dword bit, int on) { attributes = on ? attributes | bit : attributes & ~bit; };
    set(kAttrHidden, hidden);
    set(kAttrReadOnly, readOnly);
    set(kAttrSystem, system);
    return attributes;
}

// A link (junction or symbolic link) is removed as itself: what it points to lies
// outside the tree and is never searched, changed or deleted.
void RemoveLink(Files& files, const char* path, Dword attributes, int remove) {
    if (!remove) return;
    if ((attributes & kAttrDirectory) != 0) {
        files.RemoveDirectoryAt(path);
    } else {
        files.DeleteFileAt(path);
    }
}

void CleanTreeEntry(RunContext& context, const char* prefix, const char* name, int hidden,
                    int readOnly, int system, int remove) {
    Files& files = context.platform.files;
    char path[kTextSize];
    if (std::snprintf(path, sizeof path, "%s%s", prefix, name) >= kTextSize) return;
    const Dword attributes = files.GetAttributes(path);
    if (attributes == kInvalidAttributes) return;
    if ((attributes & kAttrReparsePoint) != 0) {
        RemoveLink(files, path, attributes, remove);
    } else if ((attributes & kAttrDirectory) != 0) {
        char subdirectory[kTextSize];
        if (std::snprintf(subdirectory, sizeof subdirectory, "%s%s\\", prefix, name) >= kTextSize) {
            return;
        }
        DeleteTree(context, subdirectory, hidden, readOnly, system, remove);
    } else {
        files.SetAttributes(path, SwitchedAttributes(attributes, hidden, readOnly, system));
        if (remove) files.DeleteFileAt(path);
    }
}

}  // namespace

int DeleteTree(RunContext& context, const char* directory, int hidden, int readOnly, int system,
               int remove) {
    Files& files = context.platform.files;
    const char* lastSlash = std::strrchr(directory, '\\');
    if (lastSlash == nullptr) return 0;
    const int prefixLength = static_cast<int>(lastSlash - directory) + 1;
    char prefix[kTextSize];
    char pattern[kTextSize];
    if (std::snprintf(prefix, sizeof prefix, "%.*s", prefixLength, directory) >= kTextSize ||
        std::snprintf(pattern, sizeof pattern, "%s%s", prefix, "*.*") >= kTextSize) {
        return 0;
    }

    // The folder itself may be a link too (C:\windows\twain_32 a junction to a folder of
    // the user's): then it goes as a link, and what it points to is never searched.
    char self[kTextSize];
    std::snprintf(self, sizeof self, "%.*s", prefixLength - 1, prefix);
    const Dword selfAttributes = files.GetAttributes(self);
    if (selfAttributes != kInvalidAttributes && (selfAttributes & kAttrReparsePoint) != 0) {
        RemoveLink(files, self, selfAttributes, remove);
        return 0;
    }

    FindData entry;
    std::unique_ptr<FileSearch> search = files.FindFirst(pattern, &entry);
    if (!search) return 0;
    do {
        // Names that begin with a dot ("." and "..", and any other) are never touched.
        if (entry.name[0] == '.') continue;
        CleanTreeEntry(context, prefix, entry.name, hidden, readOnly, system, remove);
    } while (search->Next(&entry));
    search.reset();

    const Dword attributes = files.GetAttributes(self);
    if (attributes == kInvalidAttributes) return 1;
    files.SetAttributes(self, SwitchedAttributes(attributes, hidden, readOnly, system));
    if (remove) files.RemoveDirectoryAt(self);
    return 1;
}

void CleanOtherFiles(RunContext& context) {
    Files& files = context.platform.files;
    char windows[kTextSize];
    const unsigned length = files.WindowsDirectory(windows, kTextSize);
    if (length == 0 || length >= static_cast<unsigned>(kTextSize)) return;
    if (context.state.family == FamilyEmpiaUsb) {
        char twain[kTextSize];
        if (std::snprintf(twain, sizeof twain, "%s\\twain_32\\", windows) < kTextSize) {
            DeleteTree(context, twain, 0, 0, 0, 1);
        }
    } else if (context.state.family == FamilyWisUsb) {
        for (const char* name : kWisFiles) {
            char path[kTextSize];
            if (std::snprintf(path, sizeof path, "%s\\%s", windows, name) < kTextSize) {
                DeleteFileReported(context, path);
            }
        }
    }
}

}  // namespace cvp
