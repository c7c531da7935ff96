#include "app/pending_identifiers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "run/plain_file.h"
#include "run/state_folder.h"
#include "run/text.h"

namespace cvp {
namespace {

constexpr const char* kSection = "PendingCleanup";

struct IdentifierList {
    const char* key;  // "ParentIdPrefix" or "InstanceName", numbered from 1 in the file
    char (*entries)[kIdentifierSize];
    int* count;
};

IdentifierList ParentIdPrefixes(RunState& state) {
    return {"ParentIdPrefix", state.parentIdPrefixes, &state.parentIdPrefixCount};
}

IdentifierList InstanceNames(RunState& state) {
    return {"InstanceName", state.instanceSuffixes, &state.instanceSuffixCount};
}

// "C:\WINDOWS\CVPurger\CVPurgerPending8.ini" for family 8; false when it does not fit
// or the state folder is not to be used.
bool PendingFilePath(RunContext& context, char (&path)[kTextSize]) {
    char folder[kTextSize];
    if (!PrepareStateFolder(context, folder)) return false;
    const int written = std::snprintf(path, kTextSize, "%s\\CVPurgerPending%d.ini", folder,
                                      static_cast<int>(context.state.family));
    return written > 0 && written < kTextSize;
}

int UsedCount(const IdentifierList& list) { return std::clamp(*list.count, 0, kIdentifierSlots); }

bool Holds(const IdentifierList& list, const char* identifier) {
    for (int i = 0; i < UsedCount(list); ++i) {
        if (std::strcmp(list.entries[i], identifier) == 0) return true;
    }
    return false;
}

// Identifiers are written as they are read back only when they hold nothing that the
// profile format or a line break could take apart: letters, digits and "&._-", as
// Windows writes them. Any other stays out of the file (this run still uses it).
bool Storable(const char* identifier) {
    if (identifier[0] == '\0') return false;
    for (const char* c = identifier; *c != '\0'; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        if (u >= 0x80 || (!std::isalnum(u) && std::strchr("&._-", *c) == nullptr)) return false;
    }
    return true;
}

void MergeFromFile(RunContext& context, const IdentifierList& list, const char* path) {
    for (int number = 1; number <= kIdentifierSlots && UsedCount(list) < kIdentifierSlots;
         ++number) {
        const std::string key = list.key + std::to_string(number);
        char identifier[kIdentifierSize] = {};
        context.platform.files.ReadProfileString(kSection, key.c_str(), "", identifier,
                                                 kIdentifierSize, path);
        if (!Storable(identifier) || Holds(list, identifier)) continue;
        const int slot = UsedCount(list);
        CopyText(list.entries[slot], identifier, context.state.ansiCodePage);
        *list.count = slot + 1;
    }
}

void AppendLines(const IdentifierList& list, std::string* text) {
    int number = 0;
    for (int i = 0; i < UsedCount(list); ++i) {
        if (!Storable(list.entries[i])) continue;
        *text += std::string(list.key) + std::to_string(++number) + "=" + list.entries[i] + "\r\n";
    }
}

}  // namespace

void RememberDeviceIdentifiers(RunContext& context) {
    char path[kTextSize];
    if (!PendingFilePath(context, path)) return;
    RunState& state = context.state;
    MergeFromFile(context, ParentIdPrefixes(state), path);
    MergeFromFile(context, InstanceNames(state), path);

    std::string lines;
    AppendLines(ParentIdPrefixes(state), &lines);
    AppendLines(InstanceNames(state), &lines);
    Files& files = context.platform.files;
    files.DeleteFileAt(path);
    if (lines.empty()) return;
    const std::string text = std::string("[") + kSection + "]\r\n" + lines;
    AppendToPlainFile(files, path, text.c_str(), static_cast<Dword>(text.size()));
}

void ForgetDeviceIdentifiers(RunContext& context) {
    char path[kTextSize];
    if (PendingFilePath(context, path)) context.platform.files.DeleteFileAt(path);
}

}  // namespace cvp
