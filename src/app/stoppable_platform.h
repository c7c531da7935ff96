// The machine as the wizard's worker sees it: the real one until a stop is requested
// (Cancel, the close box or Alt+F4 during a run), then one that refuses whatever would
// begin something new, so that the run ends at its next call with no test of its own
// in any stage, while what finishes the item under way still goes through.
//
// After a stop it refuses every registry call, file search, deletion, device call and
// process start, as a machine that grants nothing would; pauses and waits for a
// started process end at once. It lets through the deletion of the file or folder whose
// attributes were just changed to delete it; a key's DACL or a file's attributes only
// when they are put back as they were last read (a take-over's Release, by name or
// through the key's handle, a file whose deletion failed); and every append, with the
// looks at the file and the state folder that go before it: the log line of a removal
// made, and the rewrite of the device-identifiers file, which is deleted and written
// anew and must not be left deleted. A file's attributes are read as before (a stage that sees them gone
// reports the file removed), and so are the program's own texts and the system's
// version, locale and rights.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "platform/forwarding.h"

namespace cvp {

class StoppablePlatform : public ForwardingPlatform {
  public:
    explicit StoppablePlatform(Platform machine) : ForwardingPlatform(machine) {}

    // From any thread. The call under way finishes; every later one sees the stop.
    void RequestStop() { stopped_.store(true); }
    bool stopRequested() const { return stopped_.load(); }

    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override;
    Long DeleteTree(Root root, const char* path) override;
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override;
    Long WriteKeyDacl(const char* objectName, Dword securityInformation,
                      const char* sddl) override;

    unsigned WindowsDirectory(char* buffer, unsigned size) override;
    unsigned SystemDirectory(char* buffer, unsigned size) override;
    std::unique_ptr<FileSearch> FindFirst(const char* pattern, FindData* data) override;
    Dword GetAttributes(const char* path) override;
    bool SetAttributes(const char* path, Dword attributes) override;
    bool DeleteFileAt(const char* path) override;
    bool RemoveDirectoryAt(const char* path) override;
    Dword ReadProfileString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, Dword size, const char* file) override;

    std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) override;
    bool UninstallOemInf(const char* infFileName, Dword flags) override;

    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override;

    void Sleep(Dword milliseconds) override;

    // Whether a DACL may be written to the key the security calls name `objectName`, by
    // name or through its handle: before a stop any, after it only the one last read.
    bool MayWriteDacl(const std::string& objectName, const char* sddl) const;

  private:
    bool MayDelete(const char* path);

    std::atomic<bool> stopped_{false};
    // The worker's own: what it last read, to know a write that puts it back.
    std::map<std::string, std::string> daclsRead_;  // by object name
    std::map<std::string, Dword> attributesRead_;   // by path
    std::string attributesChanged_;                 // the last file whose attributes were set
};

}  // namespace cvp
