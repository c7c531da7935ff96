// The machine as a run would leave it, with nothing ever written: reads pass through to
// the machine, while a key's or value's removal, a DACL or attribute write, a file's or
// folder's removal, a device's removal and a module's unregistration are played out in
// the view alone and hidden from every later read. What Windows itself takes (a
// device's keys, a module's registrations) goes as changes/footprints names it. Pauses
// are skipped, nothing is started, and the lines the run appends to its log are kept.
#pragma once

#include <memory>
#include <string>

#include "changes/footprints.h"
#include "platform/forwarding.h"

namespace cvp {

class PreviewOverlay : public ForwardingPlatform {
  public:
    explicit PreviewOverlay(Platform machine);
    ~PreviewOverlay() override;

    // The bytes the run appended to "UnInstall.log", in order.
    const std::string& log() const { return log_; }
    // What Windows takes with each device, read from the view.
    DeviceFootprints& footprints() { return footprints_; }

    // --- Registry ---
    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override;
    // Nothing is made: a run creates no key (only a restore does).
    Long CreateKey(Root root, const char* path, Dword access, std::unique_ptr<RegistryKey>* key,
                   Dword* disposition) override;
    Long DeleteTree(Root root, const char* path) override;
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override;
    // Recorded, never written: it succeeds when the machine would let this process write
    // the key's DACL (the key opens with WRITE_DAC). A key taken over this way, and every
    // key below it, opens for change in the view as the grant would let it.
    Long WriteKeyDacl(const char* objectName, Dword securityInformation, const char* sddl) override;
    // A DACL written to a key, by name or through an open key of the view: recorded;
    // written back as the machine holds it, the take-over ends.
    Long RecordKeyDacl(Root root, const std::string& path, const char* sddl);

    // --- Files ---
    std::unique_ptr<FileSearch> FindFirst(const char* pattern, FindData* data) override;
    Dword GetAttributes(const char* path) override;
    bool SetAttributes(const char* path, Dword attributes) override;
    bool DeleteFileAt(const char* path) override;
    bool OpenForDelete(const char* path) override;
    bool RemoveDirectoryAt(const char* path) override;
    // Nothing is made or written: the run's state folder stays as it is, and what the run
    // keeps there is not kept.
    bool CreateDirectoryAt(const char* path, const char* sddl) override;
    bool WriteFileFlushed(const char* path, const char* data, Dword size) override;
    Long ReadFileSecurity(const char* path, std::string* sddl) override;
    Dword ReadProfileString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, Dword size, const char* file) override;
    // A file opened for writing is opened nowhere: what the run writes to its log is kept,
    // anything else (its pending identifiers) is accepted and dropped, since the run never
    // reads back what it wrote. A file that is there is opened for reading alone, so that
    // a link in its place, or a log the run can't write, is one in the view too.
    std::unique_ptr<OpenedFile> OpenFileAt(const char* path, Dword access, Dword share,
                                           Dword disposition, Dword flags) override;

    // --- Devices ---
    // The machine's present devices less those the view has removed.
    std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) override;
    // The published INF and its PNF go from the view; the driver store is not looked at.
    bool UninstallOemInf(const char* infFileName, Dword flags) override;

    // Windows is not asked to look for devices: a run never asks, and a view restores
    // nothing.
    Dword RescanDevices() override;

    // --- Processes ---
    // Only a module's unregistration "runs": its registrations are hidden, and it ends
    // at once. Any other program is not started.
    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override;

    // --- System ---
    void Sleep(Dword milliseconds) override;

    struct Hidden;

  private:
    void Unregister(const std::string& module);

    std::unique_ptr<Hidden> hidden_;
    DeviceFootprints footprints_;
    std::string log_;
};

}  // namespace cvp
