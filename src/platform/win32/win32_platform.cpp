#include "platform/win32/win32_platform.h"

#include <windows.h>
// windows.h first: the headers below rely on its types.
#include <aclapi.h>
#include <cfgmgr32.h>
#include <sddl.h>
#include <setupapi.h>
#include <shlwapi.h>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

#include <cstring>
#include <type_traits>
#include <vector>

#include "platform/win32/system_libraries.h"
#include "platform/win32/win32_handles.h"

namespace cvp {

// The seam's fixed text buffers are Windows' MAX_PATH buffers.
static_assert(kTextSize == MAX_PATH);
static_assert(sizeof(FindData::name) == sizeof(WIN32_FIND_DATAA::cFileName));
#if !defined(_WIN64)
// The layout SetupDiEnumDeviceInfo checks cbSize against on 32-bit Windows.
static_assert(sizeof(SP_DEVINFO_DATA) == 28);
#endif

namespace {

using win32::RootKey;
using win32::SystemLibrary;
using win32::UniqueFind;
using win32::UniqueHandle;
using win32::UniqueKey;
using win32::UniqueLocal;
using win32::UniqueLocalText;
using win32::ValidOrNull;

// The seam's Dword is uint32_t; Windows' DWORD is unsigned long under MinGW. This
// carries an optional in/out size or type through a call and back.
class DwordSlot {
  public:
    explicit DwordSlot(Dword* target) : target_(target), value_(target ? *target : 0) {}
    ~DwordSlot() {
        if (target_) *target_ = static_cast<Dword>(value_);
    }
    DwordSlot(const DwordSlot&) = delete;
    DwordSlot& operator=(const DwordSlot&) = delete;
    DWORD* get() { return target_ ? &value_ : nullptr; }

  private:
    Dword* target_;
    DWORD value_;
};

// The security descriptor `sddl` describes, with its DACL. Text without a "D:" part has
// no DACL to write: passing its null DACL on would open the object to everyone.
Long DescriptorWithDacl(const char* sddl, UniqueLocal* descriptor, PACL* dacl) {
    PSECURITY_DESCRIPTOR converted = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &converted,
                                                              nullptr)) {
        return static_cast<Long>(GetLastError());
    }
    descriptor->reset(converted);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorDacl(converted, &present, dacl, &defaulted)) {
        return static_cast<Long>(GetLastError());
    }
    return present ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

// GetNamedSecurityInfoA of `parts`, in SDDL form.
Long ReadNamedSecurity(const char* name, SE_OBJECT_TYPE type, SECURITY_INFORMATION parts,
                       std::string* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result =
        GetNamedSecurityInfoA(name, type, parts, nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) return static_cast<Long>(result);
    UniqueLocal descriptorOwner(descriptor);

    LPSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, parts,
                                                              &text, nullptr)) {
        return static_cast<Long>(GetLastError());
    }
    UniqueLocalText textOwner(text);
    sddl->assign(text);
    return ERROR_SUCCESS;
}

class Win32Key : public RegistryKey {
  public:
    explicit Win32Key(HKEY key) : key_(key) {}

    Long EnumKey(Dword index, char* name, Dword* nameSize) override {
        DwordSlot size(nameSize);
        return RegEnumKeyExA(key_.get(), index, name, size.get(), nullptr, nullptr, nullptr,
                             nullptr);
    }

    Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type, unsigned char* data,
                   Dword* dataSize) override {
        DwordSlot size(nameSize);
        DwordSlot typeSlot(type);
        DwordSlot dataSlot(dataSize);
        return RegEnumValueA(key_.get(), index, name, size.get(), nullptr, typeSlot.get(), data,
                             dataSlot.get());
    }

    Long QueryValue(const char* name, Dword* type, unsigned char* data, Dword* dataSize) override {
        DwordSlot typeSlot(type);
        DwordSlot dataSlot(dataSize);
        return RegQueryValueExA(key_.get(), name, nullptr, typeSlot.get(), data, dataSlot.get());
    }

    Long QuerySubkeyCount(Dword* count) override {
        DwordSlot slot(count);
        return RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, slot.get(), nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    Long DeleteValue(const char* name) override { return RegDeleteValueA(key_.get(), name); }

    Long SetValue(const char* name, Dword type, const unsigned char* data, Dword size) override {
        return RegSetValueExA(key_.get(), name, 0, type, data, size);
    }
    Long SetSecurity(Dword securityInformation, const char* sddl) override {
        UniqueLocal descriptor;
        PACL dacl = nullptr;
        if (const Long refused = DescriptorWithDacl(sddl, &descriptor, &dacl)) return refused;
        return RegSetKeySecurity(key_.get(), securityInformation, descriptor.get());
    }

  private:
    UniqueKey key_;
};

class Win32FileSearch : public FileSearch {
  public:
    explicit Win32FileSearch(HANDLE handle) : handle_(handle) {}

    bool Next(FindData* data) override {
        WIN32_FIND_DATAA found{};
        if (!FindNextFileA(handle_.get(), &found)) return false;
        Copy(found, data);
        return true;
    }

    static void Copy(const WIN32_FIND_DATAA& found, FindData* data) {
        data->attributes = found.dwFileAttributes;
        std::memcpy(data->name, found.cFileName, sizeof(data->name));
    }

  private:
    UniqueFind handle_;
};

// GetFinalPathNameByHandleA is Vista's: looked up once, null before.
using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
FinalPathFunction FinalPathCall() {
    static const FinalPathFunction call =
        win32::FindKernelFunction<FinalPathFunction>("GetFinalPathNameByHandleA");
    return call;
}

class Win32OpenedFile : public OpenedFile {
  public:
    explicit Win32OpenedFile(HANDLE file) : file_(file) {}

    bool ReadInformation(FileInformation* information) override {
        BY_HANDLE_FILE_INFORMATION found;
        if (!GetFileInformationByHandle(file_.get(), &found)) return false;
        information->attributes = found.dwFileAttributes;
        information->links = found.nNumberOfLinks;
        return true;
    }

    Dword FinalPath(char* buffer, Dword size) override {
        const FinalPathFunction call = FinalPathCall();
        // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
        return call == nullptr ? 0 : call(file_.get(), buffer, size, 0);
    }

    bool Write(const char* data, Dword size) override {
        DWORD written = 0;
        return WriteFile(file_.get(), data, size, &written, nullptr) != FALSE && written == size;
    }

    bool Flush() override { return FlushFileBuffers(file_.get()) != FALSE; }

  private:
    UniqueHandle file_;
};

using UninstallOemInfCall = BOOL(WINAPI*)(PCSTR, DWORD, PVOID);

// The calls of setupapi, which is no KnownDLL on Windows 2000 and XP. Null where the
// DLL or the call is missing.
struct SetupApi {
    SystemLibrary library{"setupapi.dll"};
    decltype(&SetupDiGetClassDevsA) getClassDevs =
        library.Find<decltype(&SetupDiGetClassDevsA)>("SetupDiGetClassDevsA");
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo =
        library.Find<decltype(&SetupDiEnumDeviceInfo)>("SetupDiEnumDeviceInfo");
    decltype(&SetupDiGetDeviceRegistryPropertyA) getDeviceRegistryProperty =
        library.Find<decltype(&SetupDiGetDeviceRegistryPropertyA)>(
            "SetupDiGetDeviceRegistryPropertyA");
    decltype(&SetupDiGetDeviceInstanceIdA) getDeviceInstanceId =
        library.Find<decltype(&SetupDiGetDeviceInstanceIdA)>("SetupDiGetDeviceInstanceIdA");
    decltype(&SetupDiRemoveDevice) removeDevice =
        library.Find<decltype(&SetupDiRemoveDevice)>("SetupDiRemoveDevice");
    decltype(&SetupDiDestroyDeviceInfoList) destroyDeviceInfoList =
        library.Find<decltype(&SetupDiDestroyDeviceInfoList)>("SetupDiDestroyDeviceInfoList");
    // Windows XP and later.
    UninstallOemInfCall uninstallOemInf =
        library.Find<UninstallOemInfCall>("SetupUninstallOEMInfA");
    // The configuration manager's calls, which setupapi exports on every target.
    decltype(&CM_Locate_DevNodeA) locateDevNode =
        library.Find<decltype(&CM_Locate_DevNodeA)>("CM_Locate_DevNodeA");
    decltype(&CM_Reenumerate_DevNode) reenumerateDevNode =
        library.Find<decltype(&CM_Reenumerate_DevNode)>("CM_Reenumerate_DevNode");

    bool HasDeviceCalls() const {
        return getClassDevs && enumDeviceInfo && getDeviceRegistryProperty && getDeviceInstanceId &&
               removeDevice && destroyDeviceInfoList;
    }
};

struct DeviceListDestroyer {
    const SetupApi* setupApi;
    void operator()(HDEVINFO set) const { setupApi->destroyDeviceInfoList(set); }
};
using UniqueDeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceListDestroyer>;

class Win32DeviceSet : public DeviceSet {
  public:
    Win32DeviceSet(const SetupApi& setupApi, HDEVINFO set)
        : setupApi_(setupApi), set_(set, DeviceListDestroyer{&setupApi}) {}

    bool EnumMember(Dword index) override {
        SP_DEVINFO_DATA member;
        return Member(index, &member);
    }

    bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) override {
        SP_DEVINFO_DATA member;
        if (!Member(index, &member)) return false;
        // One call into the caller's buffer: a value that does not fit is a failure,
        // as it is for the purger's fixed 255-byte buffers.
        return setupApi_.getDeviceRegistryProperty(set_.get(), &member, property, nullptr,
                                                   reinterpret_cast<BYTE*>(buffer), size,
                                                   nullptr) != FALSE;
    }

    bool ReadInstanceId(Dword index, char* buffer, Dword size) override {
        SP_DEVINFO_DATA member;
        if (!Member(index, &member)) return false;
        return setupApi_.getDeviceInstanceId(set_.get(), &member, buffer, size, nullptr) != FALSE;
    }

    bool RemoveMember(Dword index) override {
        SP_DEVINFO_DATA member;
        if (!Member(index, &member)) return false;
        return setupApi_.removeDevice(set_.get(), &member) != FALSE;
    }

  private:
    // The seam names members by index; the set's element at an index stays the same
    // for the set's lifetime (a removed device stays in the list), so looking it up
    // again is what keeping the SP_DEVINFO_DATA from the enumeration would give.
    bool Member(Dword index, SP_DEVINFO_DATA* member) {
        std::memset(member, 0, sizeof(*member));
        member->cbSize = sizeof(*member);
        return setupApi_.enumDeviceInfo(set_.get(), index, member) != FALSE;
    }

    const SetupApi& setupApi_;
    UniqueDeviceList set_;
};

class Win32Process : public Process {
  public:
    Win32Process(HANDLE process, HANDLE thread) : process_(process), thread_(thread) {}

    bool Wait(Dword milliseconds) override {
        return WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
    }

  private:
    UniqueHandle process_;
    UniqueHandle thread_;
};

// PCI configuration mechanism 1: the address goes to 0xCF8, the register comes back
// through 0xCFC.
#if defined(_MSC_VER)
void PortOut32(unsigned short port, Dword value) { __outdword(port, value); }
Dword PortIn32(unsigned short port) { return __indword(port); }
#elif defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
void PortOut32(unsigned short port, Dword value) {
    __asm__ __volatile__("outl %0, %w1" : : "a"(value), "Nd"(port));
}
Dword PortIn32(unsigned short port) {
    Dword value;
    __asm__ __volatile__("inl %w1, %0" : "=a"(value) : "Nd"(port));
    return value;
}
#else
#error "PCI configuration reads need x86 port I/O"
#endif

constexpr unsigned short kPciConfigAddress = 0xCF8;
constexpr unsigned short kPciConfigData = 0xCFC;

}  // namespace

struct Win32Platform::Libraries {
    SetupApi setupApi;
    SystemLibrary shlwapi{"shlwapi.dll"};
    decltype(&SHDeleteKeyA) deleteKey = shlwapi.Find<decltype(&SHDeleteKeyA)>("SHDeleteKeyA");
};

Win32Platform::Win32Platform() : libraries_(std::make_unique<Libraries>()) {}

Win32Platform::~Win32Platform() = default;

Platform Win32Platform::platform() { return Platform{*this, *this, *this, *this, *this}; }

// --- Registry ---

Long Win32Platform::OpenKey(Root root, const char* path, Dword access,
                            std::unique_ptr<RegistryKey>* key) {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(RootKey(root), path, 0, access, &opened);
    if (result == ERROR_SUCCESS) {
        *key = std::make_unique<Win32Key>(opened);
    } else {
        key->reset();
    }
    return result;
}

Long Win32Platform::CreateKey(Root root, const char* path, Dword access,
                              std::unique_ptr<RegistryKey>* key, Dword* disposition) {
    HKEY opened = nullptr;
    DwordSlot slot(disposition);
    const LONG result = RegCreateKeyExA(RootKey(root), path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        access, nullptr, &opened, slot.get());
    if (result == ERROR_SUCCESS) {
        *key = std::make_unique<Win32Key>(opened);
    } else {
        key->reset();
    }
    return result;
}

Long Win32Platform::DeleteTree(Root root, const char* path) {
    if (libraries_->deleteKey == nullptr) return ERROR_PROC_NOT_FOUND;
    return static_cast<Long>(libraries_->deleteKey(RootKey(root), path));
}

Long Win32Platform::ReadKeyLink(Root root, const char* path, std::string* target) {
    HKEY opened = nullptr;
    LONG result =
        RegOpenKeyExA(RootKey(root), path, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &opened);
    if (result != ERROR_SUCCESS) return result;
    const UniqueKey key(opened);
    // A REG_LINK value is UTF-16 whichever call reads it: it is no string type.
    BYTE data[1024];
    DWORD type = 0;
    DWORD size = sizeof data;
    result = RegQueryValueExA(key.get(), "SymbolicLinkValue", nullptr, &type, data, &size);
    if (result == ERROR_SUCCESS && type != REG_LINK) result = ERROR_FILE_NOT_FOUND;
    if (result != ERROR_SUCCESS) return result;
    target->clear();
    for (DWORD i = 0; i + 1 < size; i += 2) {
        target->push_back(data[i + 1] == 0 ? static_cast<char>(data[i]) : '?');
    }
    return ERROR_SUCCESS;
}

Long Win32Platform::ReadKeyDacl(const char* objectName, std::string* sddl) {
    return ReadNamedSecurity(objectName, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, sddl);
}

Long Win32Platform::WriteKeyDacl(const char* objectName, Dword securityInformation,
                                 const char* sddl) {
    UniqueLocal descriptor;
    PACL dacl = nullptr;
    if (const Long refused = DescriptorWithDacl(sddl, &descriptor, &dacl)) return refused;
    std::string name(objectName);  // SetNamedSecurityInfoA takes a writable name
    return static_cast<Long>(SetNamedSecurityInfoA(
        name.data(), SE_REGISTRY_KEY, securityInformation, nullptr, nullptr, dacl, nullptr));
}

// --- Files ---

unsigned Win32Platform::WindowsDirectory(char* buffer, unsigned size) {
    return GetWindowsDirectoryA(buffer, size);
}

unsigned Win32Platform::SystemDirectory(char* buffer, unsigned size) {
    return GetSystemDirectoryA(buffer, size);
}

std::unique_ptr<FileSearch> Win32Platform::FindFirst(const char* pattern, FindData* data) {
    WIN32_FIND_DATAA found{};
    HANDLE handle = ValidOrNull(FindFirstFileA(pattern, &found));
    if (handle == nullptr) return nullptr;
    auto search = std::make_unique<Win32FileSearch>(handle);
    Win32FileSearch::Copy(found, data);
    return search;
}

Dword Win32Platform::GetAttributes(const char* path) { return GetFileAttributesA(path); }

bool Win32Platform::SetAttributes(const char* path, Dword attributes) {
    return SetFileAttributesA(path, attributes) != FALSE;
}

bool Win32Platform::DeleteFileAt(const char* path) { return DeleteFileA(path) != FALSE; }

bool Win32Platform::OpenForDelete(const char* path) {
    const UniqueHandle file(ValidOrNull(
        CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    return file != nullptr;
}

bool Win32Platform::RemoveDirectoryAt(const char* path) { return RemoveDirectoryA(path) != FALSE; }

bool Win32Platform::CreateDirectoryAt(const char* path, const char* sddl) {
    if (sddl == nullptr) return CreateDirectoryA(path, nullptr) != FALSE;
    UniqueLocal descriptor;
    PACL dacl = nullptr;
    if (DescriptorWithDacl(sddl, &descriptor, &dacl) != ERROR_SUCCESS) return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    return CreateDirectoryA(path, &attributes) != FALSE;
}

Long Win32Platform::ReadFileSecurity(const char* path, std::string* sddl) {
    return ReadNamedSecurity(path, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sddl);
}

Dword Win32Platform::ReadProfileString(const char* section, const char* key,
                                       const char* defaultValue, char* buffer, Dword size,
                                       const char* file) {
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

std::unique_ptr<OpenedFile> Win32Platform::OpenFileAt(const char* path, Dword access, Dword share,
                                                      Dword disposition, Dword flags) {
    HANDLE file =
        ValidOrNull(CreateFileA(path, access, share, nullptr, disposition, flags, nullptr));
    if (file == nullptr) return nullptr;
    return std::make_unique<Win32OpenedFile>(file);
}

Dword Win32Platform::FullPath(const char* path, char* buffer, Dword size) {
    return GetFullPathNameA(path, size, buffer, nullptr);
}

bool Win32Platform::WriteFileFlushed(const char* path, const char* data, Dword size) {
    UniqueHandle file(ValidOrNull(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), data, size, &written, nullptr) != FALSE && written == size &&
           FlushFileBuffers(file.get()) != FALSE;
}

bool Win32Platform::ReadWholeFile(const char* path, std::string* content) {
    UniqueHandle file(
        ValidOrNull(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file.get(), &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) return false;
    content->assign(size, '\0');
    for (DWORD done = 0; done < size;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), content->data() + done, size - done, &read, nullptr) ||
            read == 0) {
            return false;
        }
        done += read;
    }
    return true;
}

// --- Devices ---

std::unique_ptr<DeviceSet> Win32Platform::OpenPresentDevices(const char* enumerator) {
    const SetupApi& setupApi = libraries_->setupApi;
    if (!setupApi.HasDeviceCalls()) return nullptr;
    HDEVINFO set =
        setupApi.getClassDevs(nullptr, enumerator, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32DeviceSet>(setupApi, set);
}

bool Win32Platform::UninstallOemInf(const char* infFileName, Dword flags) {
    const auto uninstall = libraries_->setupApi.uninstallOemInf;
    if (uninstall == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    return uninstall(infFileName, flags, nullptr) != FALSE;
}

Dword Win32Platform::RescanDevices() {
    const SetupApi& setupApi = libraries_->setupApi;
    if (!setupApi.locateDevNode || !setupApi.reenumerateDevNode) return kConfigRetFailure;
    DEVINST root = 0;
    const CONFIGRET located = setupApi.locateDevNode(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    if (located != CR_SUCCESS) return located;
    return setupApi.reenumerateDevNode(root, CM_REENUMERATE_SYNCHRONOUS);
}

// --- Processes ---

std::unique_ptr<Process> Win32Platform::Start(const char* commandLine,
                                              const char* currentDirectory) {
    // CreateProcessA may write into the command line, so it gets its own copy.
    std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, currentDirectory,
                        &startup, &started)) {
        return nullptr;
    }
    return std::make_unique<Win32Process>(started.hProcess, started.hThread);
}

// --- System ---

void Win32Platform::Sleep(Dword milliseconds) { ::Sleep(milliseconds); }

int Win32Platform::LoadText(unsigned id, char* buffer, int size) {
    return LoadStringA(GetModuleHandleA(nullptr), id, buffer, size);
}

int Win32Platform::UserCountryCode(char* buffer, int size) {
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, buffer, size);
}

bool Win32Platform::ReadOsVersion(OsVersion* version) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return false;
    version->platformId = info.dwPlatformId;
    version->major = info.dwMajorVersion;
    version->minor = info.dwMinorVersion;
    return true;
}

void Win32Platform::ReadLocalTime(LocalTime* time) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    *time = {now.wYear,   now.wMonth,  now.wDay,         now.wHour,
             now.wMinute, now.wSecond, now.wMilliseconds};
}

Dword Win32Platform::AnsiCodePage() { return GetACP(); }

bool Win32Platform::ProcessUser(std::string* sid) {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
    UniqueHandle token(opened);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
        return false;
    }
    // Spelt by the same conversion as the owners and trustees that security reads give.
    SECURITY_DESCRIPTOR owned;
    LPSTR text = nullptr;
    if (!InitializeSecurityDescriptor(&owned, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&owned, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid,
                                    FALSE) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            &owned, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION, &text, nullptr)) {
        return false;
    }
    UniqueLocalText textOwner(text);
    if (std::strncmp(text, "O:", 2) != 0) return false;
    sid->assign(text + 2);
    return true;
}

bool Win32Platform::ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) {
    // Only Windows 98 and Me let a program touch the ports; on NT an IN or OUT faults.
    OsVersion version;
    if (!ReadOsVersion(&version) || version.platformId != VER_PLATFORM_WIN32_WINDOWS) {
        return false;
    }
    const Dword address = 0x80000000u | (bus << 16) | (device << 11) | reg;
    PortOut32(kPciConfigAddress, address);
    *value = PortIn32(kPciConfigData);
    return true;
}

bool Win32Platform::QueryWow64(bool* wow64) {
    using IsWow64ProcessCall = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = win32::FindKernelFunction<IsWow64ProcessCall>("IsWow64Process");
    BOOL answer = FALSE;
    if (isWow64Process != nullptr && !isWow64Process(GetCurrentProcess(), &answer)) return false;
    *wow64 = answer != FALSE;
    return true;
}

bool Win32Platform::CheckAdministratorsMembership(bool* member) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)) {
        return false;
    }
    win32::UniqueSid administrators(sid);
    BOOL answer = FALSE;
    if (!CheckTokenMembership(nullptr, administrators.get(), &answer)) return false;
    *member = answer != FALSE;
    return true;
}

}  // namespace cvp
