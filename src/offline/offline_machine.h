// A customer's machine as a technician can send it: regedit exports of
// HKEY_LOCAL_MACHINE\SYSTEM (and of HKEY_LOCAL_MACHINE\SOFTWARE\Classes or its CLSID
// key) and a listing of the Windows folder, read into the in-memory machine so that a
// preview can run on it. Only the registry areas a run reads and the folders it looks in
// are kept, within fixed limits, so that memory stays bounded however big the files are.
//
// The listing is what tools/listing.cmd writes (README.md, "Preview"):
//   the folders below the Windows folder, one a line (dir /s /b /a:d)
//   an empty line
//   the files below it, one a line (dir /s /b /a:-d)
//   for each %WINDIR%\inf\oem*.inf: an empty line, "===== PATH", then its text
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

#include "platform/forwarding.h"
#include "platform/memory/memory_machine.h"

namespace cvp {

struct OfflineLimits {
    // Keys and values kept from the exports, and their data: about 260 MiB at most. A busy
    // machine of 100,000 keys keeps a third of the first.
    std::size_t entries = 1'000'000;
    std::size_t dataBytes = 128u << 20;
    std::size_t files = 200'000;       // files and folders kept from the listing
    std::size_t infBytes = 64u << 20;  // INF text kept from the listing
};

class OfflineMachine {
  public:
    explicit OfflineMachine(OfflineLimits limits = {});

    // One regedit export. False with "FILE:LINE: what" for a file that is not one, is
    // cut short or malformed, or holds more than the limits.
    bool ReadExport(const std::string& fileName, std::istream& in, std::string* error);
    // The listing; false with "FILE:LINE: what".
    bool ReadListing(const std::string& fileName, std::istream& in, std::string* error);

    // The machine the exports and the listing show. On Windows CurrentControlSet is a
    // link to the control set SYSTEM\Select "Current" names, which regedit exports twice:
    // when the two read alike, ReadKeyLink says so, and when the export holds only the
    // numbered set, CurrentControlSet is made from it.
    Platform platform();

    // The preview's text with the Windows folder spelled as the listing spells it.
    std::string AsListed(const std::string& text) const;

  private:
    // Answers ReadKeyLink for CurrentControlSet as the exports show it.
    class ExportedLink : public ForwardingPlatform {
      public:
        explicit ExportedLink(Platform machine) : ForwardingPlatform(machine) {}
        Long ReadKeyLink(Root root, const char* path, std::string* target) override;
        std::string target;  // "" while CurrentControlSet is no link
    };

    bool Keep(RegistryEdit&& edit, std::string* reason);
    bool ApplyPending(std::string* error);
    void FindCurrentControlSetLink();
    void CopyControlSet(const std::string& name);

    OfflineLimits limits_;
    MemoryMachine machine_;
    MachineImage pending_;
    ExportedLink link_{machine_.platform()};
    std::size_t entries_ = 0;
    std::size_t dataBytes_ = 0;
    // Per control set ("currentcontrolset", "controlset001", ...), a digest of what was
    // kept below it, in file order.
    std::map<std::string, std::uint64_t> setDigests_;
    std::string windowsFolder_;  // as the listing spells it; "" without one
};

}  // namespace cvp
