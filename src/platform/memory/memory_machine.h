// An in-memory Windows machine: a registry with key security, a C: drive, the
// present devices that Wine would list from the Enum keys, processes and sleeps that
// are recorded instead of run, and faults a test can inject. It is what the purger's
// logic sees through the platform seam in native tests and scenario runs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/image/machine_image.h"
#include "platform/platform.h"

namespace cvp {

class MemoryMachine : public Registry,
                      public Files,
                      public Devices,
                      public Processes,
                      public System {
  public:
    // An empty machine: C:\windows with system32, system32\drivers and inf, and the
    // current directory C:\cvpurger, all empty; no registry keys but the roots.
    MemoryMachine();
    ~MemoryMachine() override;
    MemoryMachine(const MemoryMachine&) = delete;
    MemoryMachine& operator=(const MemoryMachine&) = delete;

    Platform platform();

    // Applies an image on top of what the machine holds. On a fault (a key edit
    // under a root it can't hold, a file under a missing drive) returns false with
    // `error` set, and the machine is left as it was.
    bool Apply(const MachineImage& image, std::string* error);

    // --- Registry ---
    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override;
    Long CreateKey(Root root, const char* path, Dword access, std::unique_ptr<RegistryKey>* key,
                   Dword* disposition) override;
    Long DeleteTree(Root root, const char* path) override;
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override;
    Long WriteKeyDacl(const char* objectName, Dword securityInformation, const char* sddl) override;
    // This machine holds no links: its CurrentControlSet is a key, as Wine's.
    Long ReadKeyLink(Root root, const char* path, std::string* target) override;

    // --- Files ---
    unsigned WindowsDirectory(char* buffer, unsigned size) override;
    unsigned SystemDirectory(char* buffer, unsigned size) override;
    std::unique_ptr<FileSearch> FindFirst(const char* pattern, FindData* data) override;
    Dword GetAttributes(const char* path) override;
    bool SetAttributes(const char* path, Dword attributes) override;
    bool DeleteFileAt(const char* path) override;
    bool OpenForDelete(const char* path) override;
    bool RemoveDirectoryAt(const char* path) override;
    bool CreateDirectoryAt(const char* path, const char* sddl) override;
    Long ReadFileSecurity(const char* path, std::string* sddl) override;
    Dword ReadProfileString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, Dword size, const char* file) override;
    std::unique_ptr<OpenedFile> OpenFileAt(const char* path, Dword access, Dword share,
                                           Dword disposition, Dword flags) override;
    Dword FullPath(const char* path, char* buffer, Dword size) override;
    bool WriteFileFlushed(const char* path, const char* data, Dword size) override;
    bool ReadWholeFile(const char* path, std::string* content) override;

    // --- Devices ---
    std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) override;
    // Devices are listed from the registry as they stand, so a rescan only counts.
    Dword RescanDevices() override;
    bool UninstallOemInf(const char* infFileName, Dword flags) override;

    // --- Processes ---
    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override;

    // --- System ---
    void Sleep(Dword milliseconds) override;
    int LoadText(unsigned id, char* buffer, int size) override;
    int UserCountryCode(char* buffer, int size) override;
    bool ReadOsVersion(OsVersion* version) override;
    // A clock that starts at 2024-06-07 09:00:00.000 and moves on with the sleeps.
    void ReadLocalTime(LocalTime* time) override;
    Dword AnsiCodePage() override;
    bool ProcessUser(std::string* sid) override;
    bool ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) override;
    bool QueryWow64(bool* wow64) override;
    bool CheckAdministratorsMembership(bool* member) override;

    // --- What a test sets up and looks at ---
    void SetValue(Root root, const std::string& path, const std::string& name, Dword type,
                  const std::string& data);
    void SetString(Root root, const std::string& path, const std::string& name,
                   const std::string& text);  // REG_SZ with its NUL
    void CreateKey(Root root, const std::string& path);
    bool KeyExists(Root root, const std::string& path) const;
    bool ValueExists(Root root, const std::string& path, const std::string& name) const;
    void SetKeyDacl(Root root, const std::string& path, const std::string& sddl);
    std::string KeyDacl(Root root, const std::string& path) const;

    void AddFile(const std::string& path, const std::string& content, Dword attributes = 0x20);
    void AddDirectory(const std::string& path, Dword attributes = 0x10);
    // A second name for an existing file: both hold the same content.
    void AddHardLink(const std::string& existing, const std::string& link);
    // A file that is a symbolic link to `target`.
    void AddSymbolicLink(const std::string& link, const std::string& target);
    // A file's or directory's owner and DACL ("O:BAD:(A;OICI;FA;;;SY)"). Until set, a file
    // has the Windows directory's: the administrators' and the system's, others may read.
    void SetFileSecurity(const std::string& path, const std::string& sddl);
    bool FileExists(const std::string& path) const;
    std::string FileContent(const std::string& path) const;

    // Present devices are the Enum instances Windows has started, those with a "Control"
    // subkey, as a registry export of a running Windows shows them, and descriptions
    // read as SetupAPI reads them there ("@oem5.inf,%desc%;Text" gives "Text"). By
    // default they are the instances Wine lists, with a well-formed ClassGUID.
    void ListStartedDevices();

    void SetCountryCode(const std::string& code);
    void SetOsVersion(const OsVersion& version);
    void SetAnsiCodePage(Dword codePage);  // 1252 unless set
    // Gives the machine a PCI configuration space: (bus, device, register) -> value.
    // Unlisted registers of a bus read as 0xFFFFFFFF (no device).
    void SetPciConfig(Dword bus, Dword device, Dword reg, Dword value);
    // A 32-bit process on 64-bit Windows; one without administrator rights. Neither by
    // default.
    void SetWow64(bool wow64);
    void SetAdministrator(bool member);

    const std::vector<Dword>& sleeps() const;
    const std::vector<std::string>& startedProcesses() const;
    int deviceRescans() const;
    // The current directory each of them was given ("" for the caller's).
    const std::vector<std::string>& startDirectories() const;
    // The INF names given to UninstallOemInf, in order.
    const std::vector<std::string>& uninstalledInfs() const;

    // --- Faults ---
    void DenyKey(Root root, const std::string& path);  // DACL "D:(D;;KA;;;WD)"
    // DenyKey, and the key belongs to another account: the administrators may neither
    // read nor replace its DACL, so no take-over reaches it.
    void DenyKeyTakeover(Root root, const std::string& path);
    // RegDeleteValueA of this one value is refused, as a registry filter guarding it
    // would refuse it.
    void FailValueDeletion(Root root, const std::string& path, const std::string& name);
    void LockFile(const std::string& path);                 // open elsewhere: no delete, no write
    void FailDeviceRemoval(const std::string& instanceId);  // "PCI\VEN_...\3&1&0"
    void FailProcessStart();                                // CreateProcessA fails
    void HangProcesses();                                   // started processes never end
    // Writes fail once they would add more than `bytes` to the drive, as on a full disk.
    void LimitDiskSpace(std::uint64_t bytes);
    // Lifts every fault: locks (an image's too), failing removals, process faults, key
    // owners and guarded values. The DACLs DenyKey wrote stay, being the keys' own.
    void ClearFaults();

    // Canonical text of the registry below the given roots ("HKEY_LOCAL_MACHINE\SYSTEM"):
    // one line per key and one per value, sorted, so that two machines compare line by
    // line and a difference reads as what was removed or added.
    std::vector<std::string> DumpRegistry(const std::vector<std::string>& subtrees) const;
    // One line per file and directory of C:, as "drive_c/windows/inf/oem1.inf" (a
    // directory ends in "/"), sorted.
    std::vector<std::string> DumpFiles() const;
    // Every key's DACL below the given roots in SDDL, by the key's path as DumpRegistry
    // spells it.
    std::map<std::string, std::string> DumpKeyDacls(const std::vector<std::string>& subtrees) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace cvp
