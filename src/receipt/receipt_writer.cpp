#include "receipt/receipt_writer.h"

#include <algorithm>
#include <cstdio>

#include "changes/footprints.h"
#include "platform/image/ascii_text.h"
#include "platform/image/registry_paths.h"
#include "receipt/receipt_folders.h"
#include "run/family_catalogue.h"
#include "run/state_folder.h"

namespace cvp {
namespace {

// One spelling per key, whichever root and case named it.
std::string KeyId(Root root, const std::string& path) {
    const KeyLocation where = CanonicalKey(root, WithoutTrailingBackslash(path));
    return LowerCopy(RegistryName(where.root, where.path));
}

bool Within(const std::string& key, const std::string& ancestor) {
    return key.size() > ancestor.size() && key[ancestor.size()] == '\\' &&
           EqualsNoCase(key.substr(0, ancestor.size()), ancestor);
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

// The path with its last name as the disk spells it, so that a file made again from the
// receipt has the name it had; as it is when the search finds nothing of that name.
std::string Spelled(Files& files, const std::string& path) {
    FindData found;
    if (!files.FindFirst(path.c_str(), &found) || !EqualsNoCase(found.name, FileName(path))) {
        return path;
    }
    return path.substr(0, path.size() - FileName(path).size()) + found.name;
}

}  // namespace

ReceiptWriter::ReceiptWriter(Platform machine, ProductFamily family)
    : machine_(machine), family_(family), footprints_(machine_.registry) {
    machine_.system.ReadLocalTime(&start_);
}

bool ReceiptWriter::Open() {
    if (!folder_.empty()) return true;
    if (unwritable_) return false;
    unwritable_ = true;  // until the receipt stands
    Files& files = machine_.files;
    const std::string receipts = ReceiptsFolder(files);
    if (receipts.empty() ||
        !PrepareAdministratorsFolder(machine_, receipts.substr(0, receipts.rfind('\\'))).empty() ||
        !PrepareAdministratorsFolder(machine_, receipts).empty()) {
        return false;
    }
    PruneReceipts(files, receipts, kReceiptsKept - 1);

    // Two runs started in the same millisecond get a second name.
    const std::string name = ReceiptName(start_, FamilyToken(family_));
    std::string folder;
    for (int copy = 1; copy <= 9 && folder.empty(); ++copy) {
        const std::string candidate =
            receipts + "\\" + name + (copy == 1 ? "" : "-" + std::to_string(copy));
        if (files.CreateDirectoryAt(candidate.c_str(), nullptr)) folder = candidate;
    }
    if (folder.empty()) return false;
    if (files.CreateDirectoryAt((folder + "\\" + kCopiesFolderName).c_str(), nullptr)) {
        // The run is the journal's only writer: it stays open, and each write goes on at
        // its end.
        journal_ = files.OpenFileAt((folder + "\\" + kJournalName).c_str(), kGenericWrite,
                                    kFileShareRead, kCreateNew, kAttrNormal);
    }
    const std::string header =
        "\xFF\xFE" +
        JournalBytes(JournalHeader("CVPurger receipt of the run of " + TimeText(start_) +
                                   ", family " + FamilyToken(family_)));
    if (!journal_ || !journal_->Write(header.data(), static_cast<Dword>(header.size())) ||
        !journal_->Flush()) {
        journal_.reset();
        DeleteReceipt(files, folder);
        return false;
    }
    folder_ = folder;
    unwritable_ = false;
    return true;
}

// A journal that could not take a write may end in part of an entry; nothing more is
// written after it, so that a restore finds that part at the end, where a stopped run
// leaves one.
bool ReceiptWriter::Append(const std::string& text, bool flushed) {
    if (unwritable_) return false;
    const std::string bytes = JournalBytes(text);
    const bool written = journal_->Write(bytes.data(), static_cast<Dword>(bytes.size())) &&
                         (!flushed || journal_->Flush());
    if (!written) unwritable_ = true;
    return written;
}

bool ReceiptWriter::Write(JournalEntry* entry, bool flushed) {
    entry->number = entries_ + 1;
    if (!Append(FormatEntry(*entry), flushed)) return false;
    entries_ = entry->number;
    return true;
}

// A take-over rewrites the key's DACL and, on Windows, its subkeys' inherited entries;
// each key's first DACL is what the run found. A change the receipt can't note is
// refused; a release, which puts back what was noted, never is.
bool ReceiptWriter::BeforeKeyDaclWrite(Root root, const std::string& path) {
    if (daclsBefore_.count(KeyId(root, path)) != 0) return true;
    std::vector<CapturedKey> keys;
    if (!CaptureKeyDacls(machine_.registry, root, path, &keys)) return true;
    JournalEntry entry;
    entry.kind = JournalEntry::Kind::Dacls;
    entry.subject = RegistryName(root, path);
    for (const CapturedKey& key : keys) {
        if (!key.dacl.empty()) entry.keys.push_back({root, key.path, key.dacl, {}});
    }
    if (entry.keys.empty()) return true;
    // Not flushed: a Release puts the DACL back, and should power fail between the two,
    // the key is left open to the administrators alone.
    if (!Open() || !Write(&entry, false)) return false;
    for (const KeyRecord& key : entry.keys) daclsBefore_.emplace(KeyId(root, key.path), key.dacl);
    return true;
}

bool ReceiptWriter::BeforeAttributeChange(const std::string& path) {
    const std::string id = LowerCopy(path);
    if (attributesBefore_.count(id) != 0) return true;
    JournalEntry entry;
    entry.kind = JournalEntry::Kind::Attributes;
    entry.subject = path;
    entry.attributes = machine_.files.GetAttributes(path.c_str());
    if (entry.attributes == kInvalidAttributes) return true;
    if (!Open() || !Write(&entry, false)) return false;
    attributesBefore_[id] = entry.attributes;
    return true;
}

// What the path had before the run changed it; kInvalidAttributes when it is gone now,
// whatever it had: a PNF deleted before its INF's package leaves has nothing to keep.
Dword ReceiptWriter::AttributesBefore(const std::string& path) {
    const Dword now = machine_.files.GetAttributes(path.c_str());
    if (now == kInvalidAttributes) return now;
    const auto found = attributesBefore_.find(LowerCopy(path));
    return found != attributesBefore_.end() ? found->second : now;
}

void ReceiptWriter::AddKeyTree(Root root, const std::string& path, JournalEntry* entry) {
    std::vector<CapturedKey> keys;
    if (!CaptureKeyTree(machine_.registry, root, path, &keys)) return;
    for (CapturedKey& key : keys) {
        // A key that may not be read is not deleted either: the deletion stops there.
        if (!key.readable) continue;
        const auto before = daclsBefore_.find(KeyId(root, key.path));
        const std::string dacl = before != daclsBefore_.end() ? before->second : key.dacl;
        entry->keys.push_back({root, std::move(key.path), dacl, std::move(key.values)});
    }
}

bool ReceiptWriter::Describe(const Removal& removal, JournalEntry* entry) {
    switch (removal.kind) {
        case Removal::Kind::Key:
            entry->kind = JournalEntry::Kind::Key;
            AddKeyTree(removal.root, removal.path, entry);
            if (!entry->keys.empty()) entry->subject = RegistryName(removal.root, removal.path);
            return true;
        case Removal::Kind::Value: {
            CapturedValue value;
            if (!CaptureValue(machine_.registry, removal.root, removal.path, removal.name,
                              &value)) {
                return false;
            }
            entry->kind = JournalEntry::Kind::Value;
            entry->subject = RegistryName(removal.root, removal.path) + " \"" + removal.name + "\"";
            entry->keys.push_back({removal.root, removal.path, "", {std::move(value)}});
            return true;
        }
        case Removal::Kind::File:
        case Removal::Kind::Folder:
            entry->kind = removal.kind == Removal::Kind::File ? JournalEntry::Kind::File
                                                              : JournalEntry::Kind::Folder;
            entry->attributes = AttributesBefore(removal.path);
            if (entry->attributes != kInvalidAttributes) {
                entry->subject = Spelled(machine_.files, removal.path);
            }
            return true;
        case Removal::Kind::Device: {
            entry->kind = JournalEntry::Kind::Device;
            entry->subject = removal.path;
            entry->description = removal.name;
            entry->hardwareIds = removal.hardwareIds;
            // The device key holds the instance key, the bus key both.
            const std::vector<std::string> keys = footprints_.Keys(removal.path);
            for (const std::string& key : keys) {
                const bool covered = std::any_of(keys.begin(), keys.end(), [&](const auto& other) {
                    return Within(key, other);
                });
                if (!covered) AddKeyTree(Root::LocalMachine, key, entry);
            }
            return true;
        }
        case Removal::Kind::Module:
            // A module that is not there unregisters nothing.
            if (machine_.files.GetAttributes(removal.path.c_str()) == kInvalidAttributes)
                return true;
            entry->kind = JournalEntry::Kind::Module;
            for (const std::string& key : ComRegistrationKeys(machine_, removal.path)) {
                AddKeyTree(Root::LocalMachine, key, entry);
            }
            if (!entry->keys.empty()) entry->subject = removal.path;
            return true;
    }
    return false;
}

bool ReceiptWriter::CopyFile(JournalEntry* entry) {
    std::string content;
    Files& files = machine_.files;
    if (!files.ReadWholeFile(entry->subject.c_str(), &content)) return false;
    char number[16];
    std::snprintf(number, sizeof number, "%04d", entries_ + 1);
    // The copy keeps the file's name where the path allows it.
    std::string copy =
        std::string(kCopiesFolderName) + "\\" + number + " " + FileName(entry->subject);
    if (folder_.size() + 1 + copy.size() >= static_cast<size_t>(kTextSize)) {
        copy = std::string(kCopiesFolderName) + "\\" + number;
    }
    const std::string path = folder_ + "\\" + copy;
    if (!files.WriteFileFlushed(path.c_str(), content.data(), static_cast<Dword>(content.size()))) {
        files.DeleteFileAt(path.c_str());
        return false;
    }
    entry->copy = copy;
    entry->size = std::to_string(content.size());
    return true;
}

bool ReceiptWriter::BeforeRemoval(const Removal& removal) {
    JournalEntry entry;
    if (!Describe(removal, &entry)) return false;
    // An entry with no subject has nothing there to keep.
    if (!entry.subject.empty()) {
        if (!Open()) return false;
        if (entry.kind == JournalEntry::Kind::File && !CopyFile(&entry)) return false;
        if (!Write(&entry, true)) return false;
    }
    underWay_.push_back(std::move(entry));
    return true;
}

void ReceiptWriter::AfterRemoval(const Removal& /*removal*/, bool removed) {
    if (underWay_.empty()) return;
    const JournalEntry entry = std::move(underWay_.front());
    underWay_.pop_front();
    if (entry.number == 0) return;
    if (removed) {
        Count(entry);
    } else {
        Append(NotRemovedLine(entry.number), false);
    }
}

void ReceiptWriter::Count(const JournalEntry& entry) {
    const int keys = static_cast<int>(entry.keys.size());
    switch (entry.kind) {
        case JournalEntry::Kind::Key:
            removed_.keys += keys;
            break;
        case JournalEntry::Kind::Value:
            ++removed_.values;
            break;
        case JournalEntry::Kind::File:
            ++removed_.files;
            break;
        case JournalEntry::Kind::Folder:
            ++removed_.folders;
            break;
        case JournalEntry::Kind::Device:
            ++removed_.devices;
            removed_.keys += keys;
            devices_ += "  " + entry.description + " (" + entry.subject + ")\r\n";
            for (const std::string& id : entry.hardwareIds) {
                devices_ += "    hardware ID " + id + "\r\n";
            }
            break;
        case JournalEntry::Kind::Module:
            ++modules_;
            removed_.keys += keys;
            break;
        case JournalEntry::Kind::Dacls:
        case JournalEntry::Kind::Attributes:
            break;
    }
}

std::string ReceiptWriter::Summary() const {
    const std::string name = folder_.substr(folder_.rfind('\\') + 1);
    return "CVPurger receipt of the run of " + TimeText(start_) + ", family " +
           FamilyToken(family_) +
           "\r\n\r\nWhat the run removed, as it was just before: " + removed_.Text() + "; " +
           Counted(modules_, "module was", "modules were") + " unregistered.\r\n" +
           (devices_.empty() ? "" : "\r\nDevices:\r\n" + devices_) +
           "\r\nReceipt.reg holds the keys and values (regedit imports it), each key's DACL "
           "beside it, and every entry of the run; Files holds the removed files.\r\n"
           "\r\nTo put it all back, as an administrator:\r\n    CVPurger.exe /restore " +
           name +
           "\r\n(CVPurger.exe /restore alone restores the newest receipt.) What exists again "
           "is left as it is.\r\n";
}

void ReceiptWriter::Finish() {
    const bool ended = !folder_.empty() && Append(RunEndedLine(entries_), true);
    journal_.reset();
    if (!ended) return;
    const std::string summary = Summary();
    machine_.files.WriteFileFlushed((folder_ + "\\" + kSummaryName).c_str(), summary.data(),
                                    static_cast<Dword>(summary.size()));
}

}  // namespace cvp
