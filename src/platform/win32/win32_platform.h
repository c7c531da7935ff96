// The platform seam over the real Windows calls: one thin pass-through per operation,
// ANSI calls at Windows XP level, every handle owned. Nothing here decides anything
// the purger's logic should decide; behaviour differences between Windows versions
// (and Wine) reach the logic unchanged.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace cvp {

class Win32Platform : public Registry,
                      public Files,
                      public Devices,
                      public Processes,
                      public System {
  public:
    // Loads setupapi and shlwapi from the system directory (see system_libraries.h).
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    Platform platform();

    // --- Registry ---
    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override;
    Long CreateKey(Root root, const char* path, Dword access, std::unique_ptr<RegistryKey>* key,
                   Dword* disposition) override;
    Long DeleteTree(Root root, const char* path) override;
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override;
    Long WriteKeyDacl(const char* objectName, Dword securityInformation, const char* sddl) override;
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
    Dword RescanDevices() override;
    bool UninstallOemInf(const char* infFileName, Dword flags) override;

    // --- Processes ---
    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override;

    // --- System ---
    void Sleep(Dword milliseconds) override;
    int LoadText(unsigned id, char* buffer, int size) override;
    int UserCountryCode(char* buffer, int size) override;
    bool ReadOsVersion(OsVersion* version) override;
    void ReadLocalTime(LocalTime* time) override;
    Dword AnsiCodePage() override;
    bool ProcessUser(std::string* sid) override;
    bool ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) override;
    bool QueryWow64(bool* wow64) override;
    bool CheckAdministratorsMembership(bool* member) override;

  private:
    struct Libraries;
    std::unique_ptr<Libraries> libraries_;
};

}  // namespace cvp
