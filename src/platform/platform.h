// What the purger asks of Windows. Each call mirrors one Win32 operation: the same
// arguments, the same buffer sizes, the same results and error codes. The Win32 side
// passes straight through; the in-memory machine behaves like Windows where the
// purger can see it.
#pragma once

#include <memory>
#include <string>

#include "platform/types.h"

namespace cvp {

// An open registry key (HKEY). Destruction closes it.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    // RegEnumKeyExA: `*nameSize` is the buffer size in characters with the NUL; on
    // success it becomes the name's length. A longer name gives kErrorMoreData.
    virtual Long EnumKey(Dword index, char* name, Dword* nameSize) = 0;
    // RegEnumValueA. `type`, `data` and `dataSize` may be null.
    virtual Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type,
                           unsigned char* data, Dword* dataSize) = 0;
    // RegQueryValueExA. `name` null or "" is the default value.
    virtual Long QueryValue(const char* name, Dword* type, unsigned char* data,
                            Dword* dataSize) = 0;
    // RegQueryInfoKeyA, number of direct subkeys only.
    virtual Long QuerySubkeyCount(Dword* count) = 0;
    // RegDeleteValueA. Needs the key opened with KEY_SET_VALUE.
    virtual Long DeleteValue(const char* name) = 0;
    // RegSetValueExA: `size` bytes of `data` as they are (a string keeps exactly the
    // terminators it is given). Needs the key opened with KEY_SET_VALUE.
    virtual Long SetValue(const char* name, Dword type, const unsigned char* data, Dword size) = 0;
    // RegSetKeySecurity with the descriptor `sddl` describes ("D:P(A;;KA;;;BA)"). The
    // whole descriptor is kept, its protected flag included, and nothing is passed on to
    // subkeys. A DACL needs the key opened with WRITE_DAC.
    virtual Long SetSecurity(Dword securityInformation, const char* sddl) = 0;
};

class Registry {
  public:
    virtual ~Registry() = default;
    // RegOpenKeyExA. A trailing backslash in `path` is accepted, as Windows does.
    virtual Long OpenKey(Root root, const char* path, Dword access,
                         std::unique_ptr<RegistryKey>* key) = 0;
    // RegCreateKeyExA, non-volatile, with default security: opens the key, creating it
    // and any missing key above it, and sets `*disposition` to kRegCreatedNewKey or
    // kRegOpenedExistingKey. Windows refuses the creation unless the deepest key that
    // exists grants KEY_CREATE_SUB_KEY; Wine does not check.
    virtual Long CreateKey(Root root, const char* path, Dword access,
                           std::unique_ptr<RegistryKey>* key, Dword* disposition) = 0;
    // SHDeleteKeyA: the key with its whole subtree.
    virtual Long DeleteTree(Root root, const char* path) = 0;
    // GetNamedSecurityInfoA on an SE_REGISTRY_KEY object ("MACHINE\SYSTEM\..."), DACL
    // only, in SDDL form ("D:P(A;CI;KR;;;BA)").
    virtual Long ReadKeyDacl(const char* objectName, std::string* sddl) = 0;
    // SetNamedSecurityInfoA of the DACL in `sddl`, with `securityInformation`
    // (DACL_SECURITY_INFORMATION, and PROTECTED_ or UNPROTECTED_DACL_SECURITY_INFORMATION).
    // The call takes the entries alone: without PROTECTED_DACL_SECURITY_INFORMATION the
    // key's DACL is not protected, whatever `sddl` says. Windows passes the inheritable
    // entries on to the subkeys that inherit.
    virtual Long WriteKeyDacl(const char* objectName, Dword securityInformation,
                              const char* sddl) = 0;
    // RegOpenKeyExA with REG_OPTION_OPEN_LINK, then the "SymbolicLinkValue" it holds:
    // where a registry link leads, as the kernel names keys
    // ("\REGISTRY\MACHINE\SYSTEM\ControlSet001"). kErrorFileNotFound for a key that is
    // no link. Windows makes SYSTEM\CurrentControlSet one; Wine keeps it a key of its own.
    virtual Long ReadKeyLink(Root root, const char* path, std::string* target) = 0;
};

// WIN32_FIND_DATAA, the fields the purger reads.
struct FindData {
    Dword attributes = 0;
    char name[kTextSize] = {};
};

// An open file search (FindFirstFileA handle). Destruction is FindClose.
class FileSearch {
  public:
    virtual ~FileSearch() = default;
    // FindNextFileA: false when no entry is left.
    virtual bool Next(FindData* data) = 0;
};

// BY_HANDLE_FILE_INFORMATION, the fields the purger reads.
struct FileInformation {
    Dword attributes = 0;
    Dword links = 0;  // nNumberOfLinks: the names the file has
};

// An open file (a CreateFileA handle). Destruction closes it.
class OpenedFile {
  public:
    virtual ~OpenedFile() = default;
    // GetFileInformationByHandle.
    virtual bool ReadInformation(FileInformation* information) = 0;
    // GetFinalPathNameByHandleA, normalized, with the drive letter ("\\?\C:\dir\name"):
    // the length copied, or the size needed when `size` is too small (with the NUL;
    // Wine leaves it out); 0 when it fails, as on the systems before Vista, which lack
    // the call.
    virtual Dword FinalPath(char* buffer, Dword size) = 0;
    // WriteFile of `size` bytes in one write: true when all of them were written.
    virtual bool Write(const char* data, Dword size) = 0;
    // FlushFileBuffers: true once what was written is on the disk. Needs the file opened
    // with GENERIC_WRITE.
    virtual bool Flush() = 0;
};

class Files {
  public:
    virtual ~Files() = default;
    // GetWindowsDirectoryA / GetSystemDirectoryA: length copied, or the size needed
    // when `size` is too small; no trailing backslash.
    virtual unsigned WindowsDirectory(char* buffer, unsigned size) = 0;
    virtual unsigned SystemDirectory(char* buffer, unsigned size) = 0;
    // FindFirstFileA: null when nothing matches (INVALID_HANDLE_VALUE).
    virtual std::unique_ptr<FileSearch> FindFirst(const char* pattern, FindData* data) = 0;
    virtual Dword GetAttributes(const char* path) = 0;                   // GetFileAttributesA
    virtual bool SetAttributes(const char* path, Dword attributes) = 0;  // SetFileAttributesA
    virtual bool DeleteFileAt(const char* path) = 0;                     // DeleteFileA
    // CreateFileA with DELETE access, every share mode and OPEN_EXISTING, closed at once:
    // false when the file is missing, held open by a program that shares no deletion,
    // or its DACL refuses deletion. Changes nothing.
    virtual bool OpenForDelete(const char* path) = 0;
    virtual bool RemoveDirectoryAt(const char* path) = 0;                // RemoveDirectoryA
    // CreateDirectoryA with the security descriptor `sddl` describes; null inherits the
    // parent's. False when it fails, also when the directory is there already.
    virtual bool CreateDirectoryAt(const char* path, const char* sddl) = 0;
    // GetNamedSecurityInfoA on an SE_FILE_OBJECT, owner and DACL, in SDDL form
    // ("O:BAD:P(A;OICI;FA;;;SY)").
    virtual Long ReadFileSecurity(const char* path, std::string* sddl) = 0;
    // GetPrivateProfileStringA with a section and a key.
    virtual Dword ReadProfileString(const char* section, const char* key, const char* defaultValue,
                                    char* buffer, Dword size, const char* file) = 0;
    // CreateFileA without security attributes or template: `access` (FILE_APPEND_DATA or
    // GENERIC_WRITE), `share`, `disposition` (OPEN_ALWAYS creates a missing file,
    // CREATE_NEW only a missing one) and `flags` (FILE_FLAG_OPEN_REPARSE_POINT opens a
    // link itself, not what it points to). A relative path lies in the current
    // directory. Null when it fails.
    virtual std::unique_ptr<OpenedFile> OpenFileAt(const char* path, Dword access, Dword share,
                                                   Dword disposition, Dword flags) = 0;
    // GetFullPathNameA: the length copied, or the size needed with the NUL when `size` is
    // too small; 0 when it fails.
    virtual Dword FullPath(const char* path, char* buffer, Dword size) = 0;
    // CreateFileA with CREATE_NEW (which fails when the file is there), one WriteFile of
    // `size` bytes, FlushFileBuffers, CloseHandle: true once the bytes are on the disk.
    virtual bool WriteFileFlushed(const char* path, const char* data, Dword size) = 0;
    // CreateFileA for reading (others may read too), ReadFile to the end, CloseHandle.
    virtual bool ReadWholeFile(const char* path, std::string* content) = 0;
};

// The present devices of one enumerator (an HDEVINFO from SetupDiGetClassDevsA with
// DIGCF_PRESENT | DIGCF_ALLCLASSES). Destruction is SetupDiDestroyDeviceInfoList.
class DeviceSet {
  public:
    virtual ~DeviceSet() = default;
    // SetupDiEnumDeviceInfo: false past the last member.
    virtual bool EnumMember(Dword index) = 0;
    // SetupDiGetDeviceRegistryPropertyA into `buffer` of `size` bytes; false when the
    // property is absent or does not fit.
    virtual bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) = 0;
    // SetupDiGetDeviceInstanceIdA into `buffer` of `size` characters
    // ("PCI\VEN_...\4&..."); false when it does not fit.
    virtual bool ReadInstanceId(Dword index, char* buffer, Dword size) = 0;
    // SetupDiRemoveDevice.
    virtual bool RemoveMember(Dword index) = 0;
};

class Devices {
  public:
    virtual ~Devices() = default;
    // Null when the set can't be built (INVALID_HANDLE_VALUE).
    virtual std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) = 0;
    // CM_Locate_DevNodeA of the root, then CM_Reenumerate_DevNode: Windows looks for
    // devices again and installs the drivers of those it finds. 0 (CR_SUCCESS), or the
    // CONFIGRET that stopped it (Wine answers CR_FAILURE and lists devices from the
    // registry anyway).
    virtual Dword RescanDevices() = 0;
    // SetupUninstallOEMInfA(infFileName, flags, null): takes a published INF
    // ("oem3.inf") out of the INF directory and, from Vista on, its driver package out
    // of the driver store. Looked up at run time: false where setupapi lacks it.
    virtual bool UninstallOemInf(const char* infFileName, Dword flags) = 0;
};

// A started process. Destruction closes its handles; the process runs on.
class Process {
  public:
    virtual ~Process() = default;
    // WaitForSingleObject with a bound: true when the process has ended.
    virtual bool Wait(Dword milliseconds) = 0;
};

class Processes {
  public:
    virtual ~Processes() = default;
    // CreateProcessA with the command line alone, no inheritance, flags 0, the
    // caller's environment, and `currentDirectory` (null: the caller's). Null when it
    // can't be started.
    virtual std::unique_ptr<Process> Start(const char* commandLine,
                                           const char* currentDirectory) = 0;
};

// SYSTEMTIME, as GetLocalTime fills it.
struct LocalTime {
    unsigned year = 0;
    unsigned month = 0;  // 1 to 12
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned milliseconds = 0;
};

// OSVERSIONINFOA, the fields the purger reads.
struct OsVersion {
    Dword platformId = 0;
    Dword major = 0;
    Dword minor = 0;
};

class System {
  public:
    virtual ~System() = default;
    virtual void Sleep(Dword milliseconds) = 0;
    // LoadStringA from the program's own string table: characters copied, 0 if absent.
    virtual int LoadText(unsigned id, char* buffer, int size) = 0;
    // GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY): characters with the NUL.
    virtual int UserCountryCode(char* buffer, int size) = 0;
    virtual bool ReadOsVersion(OsVersion* version) = 0;
    virtual void ReadLocalTime(LocalTime* time) = 0;  // GetLocalTime
    // GetACP: the ANSI code page the texts of the ...A calls are written in.
    virtual Dword AnsiCodePage() = 0;
    // The account the process runs as (GetTokenInformation, TokenUser), its SID spelt
    // as an SDDL owner part spells it ("S-1-5-21-...", or an alias such as "LA").
    virtual bool ProcessUser(std::string* sid) = 0;
    // A 32-bit read of PCI configuration mechanism 1 (ports 0xCF8 / 0xCFC). False
    // where the system grants no port access.
    virtual bool ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) = 0;
    // IsWow64Process on this process, looked up at run time: whether 64-bit Windows
    // runs it. False when the call fails; where kernel32 lacks it (Windows 2000, XP
    // before SP2) no 64-bit Windows can run the process, and `*wow64` is false.
    virtual bool QueryWow64(bool* wow64) = 0;
    // CheckTokenMembership(null, Administrators): whether the Administrators group is
    // enabled in this thread's token. False when the call fails.
    virtual bool CheckAdministratorsMembership(bool* member) = 0;
};

// Everything the purger's logic may touch.
struct Platform {
    Registry& registry;
    Files& files;
    Devices& devices;
    Processes& processes;
    System& system;
};

}  // namespace cvp
