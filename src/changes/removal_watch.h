// A seam that tells an observer about every removal a run asks for, before it reaches
// the machine and after, and about the changes a removal is prepared with (a key's
// take-over, a file's attributes cleared). The observer may refuse a removal: a receipt
// that cannot be written must keep what it would not cover.
#pragma once

#include <string>

#include "changes/removal.h"
#include "platform/forwarding.h"

namespace cvp {

class RemovalObserver {
  public:
    virtual ~RemovalObserver() = default;

    // A key's DACL is about to be written, by name or through a handle of it: a
    // take-over replaces it (a key's, on Windows, its subkeys' inherited entries too; a
    // value's, that key's alone), or its release puts the original back. What was there
    // before must be read now.
    virtual void BeforeKeyDaclWrite(Root /*root*/, const std::string& /*path*/) {}
    // A file's or folder's attributes are about to change (read-only and system are
    // cleared before a deletion).
    virtual void BeforeAttributeChange(const std::string& /*path*/) {}

    // False refuses the removal: the call then fails as a refused one does (access
    // denied), and the machine is not touched.
    virtual bool BeforeRemoval(const Removal& removal) = 0;
    // `removed`: the machine did it (for a module: the unregistration was started).
    virtual void AfterRemoval(const Removal& /*removal*/, bool /*removed*/) {}
};

class RemovalWatch : public ForwardingPlatform {
  public:
    RemovalWatch(Platform inner, RemovalObserver& observer)
        : ForwardingPlatform(inner), observer_(observer) {}

    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override;
    Long DeleteTree(Root root, const char* path) override;
    Long WriteKeyDacl(const char* objectName, Dword securityInformation, const char* sddl) override;

    bool SetAttributes(const char* path, Dword attributes) override;
    bool DeleteFileAt(const char* path) override;
    bool RemoveDirectoryAt(const char* path) override;

    std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) override;
    bool UninstallOemInf(const char* infFileName, Dword flags) override;

    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override;

    // The removal a command line stands for: "regsvr32 ... -u ... MODULE" unregisters
    // MODULE. False for any other command line.
    static bool UnregistrationOf(const char* commandLine, Removal* removal);

  private:
    RemovalObserver& observer_;
};

}  // namespace cvp
