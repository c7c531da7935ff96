#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "cleanup/file_stages.h"
#include "run/family_catalogue.h"
#include "run/progress.h"

namespace cvp {
namespace {

// SUOI_FORCEDELETE: also when a device still names the INF.
constexpr Dword kUninstallForce = 0x0001;

// From Vista on, Windows keeps a copy of every driver package in its driver store and
// installs it again by itself at the next plug-in, however the INF directory looks.
bool HasDriverStore(Platform& platform) {
    OsVersion version;
    return platform.system.ReadOsVersion(&version) && version.platformId == kPlatformWin32Nt &&
           version.major >= 6;
}

// One oem*.inf candidate and the profile reads its family rule makes.
struct InfCandidate {
    RunContext& context;
    const char* infName;
    const char* infPath;
    const char* pnfPath;
    bool driverStore;

    // The value of section/key, or "" when the key is missing or empty.
    bool Read(const char* section, const char* key, char (&value)[kTextSize]) const {
        return context.platform.files.ReadProfileString(section, key, "", value, kTextSize,
                                                        infPath) != 0;
    }
    bool ReadLower(const char* section, const char* key, char (&value)[kTextSize]) const {
        if (!Read(section, key, value)) return false;
        for (char* c = value; *c != '\0'; ++c) {
            if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
        }
        return true;
    }
    void DeletePair() const {
        DeleteFileReported(context, pnfPath);
        if (driverStore) UninstallPackage();
        DeleteFileReported(context, infPath);
    }
    // Takes the package out of the driver store while its published INF is there to
    // name it. That removes the INF too, which the log shows as its deletion.
    void UninstallPackage() const {
        Files& files = context.platform.files;
        if (files.GetAttributes(infPath) == kInvalidAttributes) return;
        context.platform.devices.UninstallOemInf(infName, kUninstallForce);
        if (files.GetAttributes(infPath) == kInvalidAttributes) ReportFileRemoved(context, infPath);
    }
};

bool EqualsAny(const char* value, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (std::strcmp(value, name) == 0) return true;
    }
    return false;
}

bool ContainsAny(const char* value, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (std::strstr(value, name) != nullptr) return true;
    }
    return false;
}

bool CatalogEquals(const InfCandidate& inf, std::initializer_list<const char*> catalogs) {
    char value[kTextSize];
    return inf.ReadLower("Version", "CatalogFile", value) && EqualsAny(value, catalogs);
}

bool IsEmpiaInf(const InfCandidate& inf, const RunState& state) {
    char value[kTextSize];
    if (state.foundEmpiaStick && inf.Read("SourceDisksNames", "1", value) &&
        std::strstr(value, "emDevice.sys") != nullptr) {
        return true;
    }
    return state.foundEmpiaDeluxe && inf.Read("Version", "CatalogFile", value) &&
           std::strcmp(value, "emWHQL.cat") == 0;
}

void DeleteLoaderFiles(RunContext& context, const char* infDirectory) {
    for (const char* name : {"RVLoader.inf", "RVLoader.PNF", "TLoader.inf", "tloader.PNF"}) {
        char path[kTextSize];
        if (std::snprintf(path, sizeof path, "%s%s", infDirectory, name) < kTextSize) {
            DeleteFileReported(context, path);
        }
    }
}

// The WIS stick's INF files; the loader INF files go once per scan, at the first
// candidate.
void CleanWisInf(const InfCandidate& inf, const char* infDirectory, int& loaderFilesDone) {
    char value[kTextSize];
    if (inf.ReadLower("Version", "CatalogFile", value) && std::strstr(value, "roamview.cat")) {
        inf.DeletePair();
    }
    value[0] = '\0';
    if (!inf.Read("Strings", "RoamView.svcDesc", value)) {
        inf.Read("Strings", "RVLoader.svcDesc", value);
    }
    const bool marked = std::strstr(value, "Vistrel RoamView") != nullptr;
    if (loaderFilesDone == 0) {
        DeleteLoaderFiles(inf.context, infDirectory);
        loaderFilesDone = 1;
    }
    if (marked) inf.DeletePair();
}

void ApplyFamilyRule(const InfCandidate& inf, const char* infDirectory, int& loaderFilesDone) {
    const RunState& state = inf.context.state;
    char value[kTextSize];
    switch (state.family) {
        case FamilyBt878:
            if (CatalogEquals(inf, {"vs4kvcap.cat", "vs4kxbar.cat", "vs4ktunr.cat"})) inf.DeletePair();
            break;
        case FamilyCx88:
        case FamilyCx88Dv:
            if (CatalogEquals(inf, {"vs88vcap.cat", "vs88xbar.cat", "vs88tune.cat"})) inf.DeletePair();
            break;
        case FamilyCx88Encoder:
            if (inf.ReadLower("Version", "CatalogFile.ntx86", value) &&
                ContainsAny(value, {"vsbbvcap.cat", "vsbbxbar.cat", "vsbbtune.cat", "vsbbenc.cat",
                                    "vspvrcap.cat", "vspvrbar.cat", "vspvrtun.cat",
                                    "vspvrenc.cat"})) {
                inf.DeletePair();
            }
            break;
        case FamilyEmpiaUsb:
            if (IsEmpiaInf(inf, state)) inf.DeletePair();
            break;
        case FamilyWisUsb:
            CleanWisInf(inf, infDirectory, loaderFilesDone);
            break;
        default:
            break;
    }
}

bool IsInfCandidate(const FindData& entry) {
    if (std::strcmp(entry.name, ".") == 0 || std::strcmp(entry.name, "..") == 0) return false;
    if ((entry.attributes & kAttrDirectory) != 0) return false;
    return std::strstr(entry.name, ".inf") != nullptr;
}

}  // namespace

void CleanInfFiles(RunContext& context) {
    Files& files = context.platform.files;
    char windows[kTextSize];
    const unsigned length = files.WindowsDirectory(windows, kTextSize);
    if (length == 0 || length >= static_cast<unsigned>(kTextSize)) return;
    char infDirectory[kTextSize];
    char pattern[kTextSize];
    if (std::snprintf(infDirectory, sizeof infDirectory, "%s\\inf\\", windows) >= kTextSize ||
        std::snprintf(pattern, sizeof pattern, "%soem*.inf", infDirectory) >= kTextSize) {
        return;
    }
    FindData entry;
    std::unique_ptr<FileSearch> search = files.FindFirst(pattern, &entry);
    if (!search) return;
    int loaderFilesDone = 0;
    const bool driverStore = HasDriverStore(context.platform);
    do {
        if (!IsInfCandidate(entry)) continue;
        char infPath[kTextSize];
        char pnfPath[kTextSize];
        if (std::snprintf(infPath, sizeof infPath, "%s%s", infDirectory, entry.name) >= kTextSize) {
            continue;
        }
        // oem12.inf gives oem12.PNF.
        const size_t stem = std::strlen(infPath) - 4;
        std::snprintf(pnfPath, sizeof pnfPath, "%.*s.PNF", static_cast<int>(stem), infPath);
        ApplyFamilyRule(InfCandidate{context, entry.name, infPath, pnfPath, driverStore},
                        infDirectory, loaderFilesDone);
    } while (search->Next(&entry));
}

}  // namespace cvp
