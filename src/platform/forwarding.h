// A seam that passes every call on to another one: the base of the wrappers that watch
// or change what a run asks of the machine, each overriding only the calls it cares
// about. Opened keys, searches, files, device sets and processes are the inner seam's own
// unless a wrapper wraps them too.
#pragma once

#include "platform/platform.h"

namespace cvp {

class ForwardingPlatform : public Registry,
                           public Files,
                           public Devices,
                           public Processes,
                           public System {
  public:
    explicit ForwardingPlatform(Platform inner) : inner_(inner) {}
    ForwardingPlatform(const ForwardingPlatform&) = delete;
    ForwardingPlatform& operator=(const ForwardingPlatform&) = delete;

    Platform platform() { return Platform{*this, *this, *this, *this, *this}; }

    // --- Registry ---
    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override {
        return inner_.registry.OpenKey(root, path, access, key);
    }
    Long CreateKey(Root root, const char* path, Dword access, std::unique_ptr<RegistryKey>* key,
                   Dword* disposition) override {
        return inner_.registry.CreateKey(root, path, access, key, disposition);
    }
    Long DeleteTree(Root root, const char* path) override {
        return inner_.registry.DeleteTree(root, path);
    }
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override {
        return inner_.registry.ReadKeyDacl(objectName, sddl);
    }
    Long WriteKeyDacl(const char* objectName, Dword securityInformation,
                      const char* sddl) override {
        return inner_.registry.WriteKeyDacl(objectName, securityInformation, sddl);
    }
    Long ReadKeyLink(Root root, const char* path, std::string* target) override {
        return inner_.registry.ReadKeyLink(root, path, target);
    }

    // --- Files ---
    unsigned WindowsDirectory(char* buffer, unsigned size) override {
        return inner_.files.WindowsDirectory(buffer, size);
    }
    unsigned SystemDirectory(char* buffer, unsigned size) override {
        return inner_.files.SystemDirectory(buffer, size);
    }
    std::unique_ptr<FileSearch> FindFirst(const char* pattern, FindData* data) override {
        return inner_.files.FindFirst(pattern, data);
    }
    Dword GetAttributes(const char* path) override { return inner_.files.GetAttributes(path); }
    bool SetAttributes(const char* path, Dword attributes) override {
        return inner_.files.SetAttributes(path, attributes);
    }
    bool DeleteFileAt(const char* path) override { return inner_.files.DeleteFileAt(path); }
    bool OpenForDelete(const char* path) override { return inner_.files.OpenForDelete(path); }
    bool RemoveDirectoryAt(const char* path) override {
        return inner_.files.RemoveDirectoryAt(path);
    }
    bool CreateDirectoryAt(const char* path, const char* sddl) override {
        return inner_.files.CreateDirectoryAt(path, sddl);
    }
    Long ReadFileSecurity(const char* path, std::string* sddl) override {
        return inner_.files.ReadFileSecurity(path, sddl);
    }
    Dword ReadProfileString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, Dword size, const char* file) override {
        return inner_.files.ReadProfileString(section, key, defaultValue, buffer, size, file);
    }
    std::unique_ptr<OpenedFile> OpenFileAt(const char* path, Dword access, Dword share,
                                           Dword disposition, Dword flags) override {
        return inner_.files.OpenFileAt(path, access, share, disposition, flags);
    }
    Dword FullPath(const char* path, char* buffer, Dword size) override {
        return inner_.files.FullPath(path, buffer, size);
    }
    bool WriteFileFlushed(const char* path, const char* data, Dword size) override {
        return inner_.files.WriteFileFlushed(path, data, size);
    }
    bool ReadWholeFile(const char* path, std::string* content) override {
        return inner_.files.ReadWholeFile(path, content);
    }

    // --- Devices ---
    std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) override {
        return inner_.devices.OpenPresentDevices(enumerator);
    }
    Dword RescanDevices() override { return inner_.devices.RescanDevices(); }
    bool UninstallOemInf(const char* infFileName, Dword flags) override {
        return inner_.devices.UninstallOemInf(infFileName, flags);
    }

    // --- Processes ---
    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override {
        return inner_.processes.Start(commandLine, currentDirectory);
    }

    // --- System ---
    void Sleep(Dword milliseconds) override { inner_.system.Sleep(milliseconds); }
    int LoadText(unsigned id, char* buffer, int size) override {
        return inner_.system.LoadText(id, buffer, size);
    }
    int UserCountryCode(char* buffer, int size) override {
        return inner_.system.UserCountryCode(buffer, size);
    }
    bool ReadOsVersion(OsVersion* version) override { return inner_.system.ReadOsVersion(version); }
    void ReadLocalTime(LocalTime* time) override { inner_.system.ReadLocalTime(time); }
    bool ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) override {
        return inner_.system.ReadPciConfig(bus, device, reg, value);
    }
    Dword AnsiCodePage() override { return inner_.system.AnsiCodePage(); }
    bool ProcessUser(std::string* sid) override { return inner_.system.ProcessUser(sid); }
    bool QueryWow64(bool* wow64) override { return inner_.system.QueryWow64(wow64); }
    bool CheckAdministratorsMembership(bool* member) override {
        return inner_.system.CheckAdministratorsMembership(member);
    }

  protected:
    Platform& inner() { return inner_; }

  private:
    Platform inner_;
};

}  // namespace cvp
