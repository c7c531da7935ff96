// A receipt's journal, Receipt.reg: what each removal took, written before the removal
// happens. It is a regedit export ("Windows Registry Editor Version 5.00", UTF-16LE
// with its BOM, CRLF) that regedit imports as it is; the program reads it back entry by
// entry from the comment lines that frame each one, which regedit passes over:
//
//   ; #12 key HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Vs4kVcap
//   [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Vs4kVcap]
//   ; DACL D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)
//   "Start"=dword:00000003
//   ; #12 end
//
//   #N key KEY          the key and its subtree, each key with its values and DACL
//   #N value KEY        one value, the only value line of the entry
//   #N device ID        "; description", "; hardware ID" lines, then the keys Windows
//                       takes with the device
//   #N module PATH      the COM registrations naming the module, before regsvr32 -u
//   #N file PATH        "; attributes 0x...", "; size N", "; copy Files\NAME"
//   #N folder PATH      "; attributes 0x..."
//   #N dacls KEY        "; dacl KEY SDDL" for the key and its subkeys, before a take-over
//                       replaced them
//   #N attributes PATH  "; attributes 0x...", before the run changed them
//
// "; #N not removed" after an entry: the removal it was written for failed.
// "; run ended: N entries" closes the journal of a run that ended.
#pragma once

#include <string>
#include <vector>

#include "changes/registry_capture.h"
#include "platform/platform.h"

namespace cvp {

constexpr const char* kJournalName = "Receipt.reg";

// How many items of each kind a run removed, or a restore put back.
struct ItemCounts {
    int keys = 0;
    int values = 0;
    int files = 0;
    int folders = 0;
    int devices = 0;

    // "3 registry keys, 1 value, 0 files, 0 folders, 1 device"
    std::string Text() const;
};

// "2026-12-09 04:15:36"
std::string TimeText(const LocalTime& time);
// "1 file", "2 files"
std::string Counted(int count, const char* one, const char* many);

// A key as it was: its values and DACL ("" when it could not be read).
struct KeyRecord {
    Root root = Root::LocalMachine;
    std::string path;
    std::string dacl;
    std::vector<CapturedValue> values;
};

struct JournalEntry {
    enum class Kind { Key, Value, Device, Module, File, Folder, Dacls, Attributes };

    int number = 0;
    Kind kind = Kind::Key;
    // The key, the value's key ("HKEY_LOCAL_MACHINE\..."), the device's instance ID, the
    // module's, file's or folder's path.
    std::string subject;
    std::vector<KeyRecord> keys;  // a value entry: its key with the one value
    std::string description;      // a device's
    std::vector<std::string> hardwareIds;
    Dword attributes = 0;  // a file's or folder's
    std::string copy;      // a file's copy, relative to the receipt folder
    std::string size;      // a file's size in bytes, as written
    bool removed = true;   // false when a "not removed" line follows
};

// The journal's first lines.
std::string JournalHeader(const std::string& title);
// An entry's lines, CRLF after each.
std::string FormatEntry(const JournalEntry& entry);
std::string NotRemovedLine(int number);
std::string RunEndedLine(int entries);
// Text as the journal file holds it: UTF-16LE, byte for byte (no BOM).
std::string JournalBytes(const std::string& text);

// "HKEY_LOCAL_MACHINE\path" and back.
std::string RegistryName(Root root, const std::string& path);
bool ParseRegistryName(const std::string& name, Root* root, std::string* path);

struct Journal {
    std::vector<JournalEntry> entries;  // complete ones, in order
    bool ended = false;                 // "run ended" closes it
    // The entry the run was writing when it stopped, cut off; 0 when none was.
    int unfinished = 0;
};

// Reads a journal's bytes. An entry cut off at the end (the run stopped while writing
// it, before its removal) is left out and named in `unfinished`. False with `problem`
// ("Receipt.reg:LINE: what is wrong") for anything else that is not as written.
bool ReadJournal(const std::string& bytes, Journal* journal, std::string* problem);

}  // namespace cvp
