#include "receipt/restore.h"

#include <cstdio>
#include <map>
#include <vector>

#include "changes/registry_capture.h"
#include "platform/image/ascii_text.h"
#include "receipt/journal.h"
#include "receipt/receipt_folders.h"
#include "registry/primitives.h"
#include "run/plain_file.h"
#include "run/state_folder.h"

namespace cvp {
namespace {

// What SetFileAttributesA takes: R H S A, NORMAL, TEMPORARY, OFFLINE,
// NOT_CONTENT_INDEXED.
constexpr Dword kSettableAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive |
                                      kAttrNormal | 0x100 | 0x1000 | 0x2000;

// The write `write` makes; again with `keyPath` taken over when Windows refused it, as
// the removal took it over. A key made below needs that key alone.
template <typename Write>
Long WithTakeOver(Registry& registry, Root root, const std::string& keyPath, Write write) {
    const Long result = write();
    if (result != kErrorAccessDenied) return result;
    KeyAccessTakeover takeover(registry, KeyAccessTakeover::Reach::KeyAlone);
    if (takeover.Grant(root, keyPath.c_str()) != 1) return result;
    return write();
}

std::string DeepestExisting(Registry& registry, Root root, std::string path) {
    while (!path.empty() && !KeyExists(registry, root, path.c_str())) {
        const size_t slash = path.rfind('\\');
        path.resize(slash == std::string::npos ? 0 : slash);
    }
    return path;
}

std::string Error(Long code) { return "error " + std::to_string(code); }

// What the restore did, for Restore.log and the message.
struct Tally {
    ItemCounts restored;
    int put = 0;   // DACLs and attributes a stopped run left changed
    int kept = 0;  // items that exist again
    std::vector<std::string> failures;
};

class Restorer {
  public:
    Restorer(Platform& platform, const std::string& folder)
        : platform_(platform),
          registry_(platform.registry),
          files_(platform.files),
          folder_(folder) {}

    // False when a copy is missing or not whole: that file is named and left out.
    bool ReadCopy(const JournalEntry& entry) {
        if (files_.GetAttributes(entry.subject.c_str()) != kInvalidAttributes) return true;
        const std::string prefix = std::string(kCopiesFolderName) + "\\";
        const std::string name = entry.copy.substr(std::min(entry.copy.size(), prefix.size()));
        std::string content;
        // Only a copy in the receipt's own folder of copies is read.
        if (entry.copy.compare(0, prefix.size(), prefix) != 0 || name.empty() ||
            name.find_first_of("\\/:") != std::string::npos || name == "." || name == ".." ||
            !files_.ReadWholeFile((folder_ + "\\" + entry.copy).c_str(), &content) ||
            std::to_string(content.size()) != entry.size) {
            Fail(entry.subject + ": its copy " + entry.copy + " is missing or not whole");
            return false;
        }
        copies_[entry.number] = std::move(content);
        return true;
    }

    void Restore(const JournalEntry& entry) {
        switch (entry.kind) {
            case JournalEntry::Kind::Key:
            case JournalEntry::Kind::Module:
                RestoreKeys(entry);
                break;
            case JournalEntry::Kind::Device:
                if (RestoreKeys(entry) > 0) {
                    ++tally_.restored.devices;
                    rescan_ = true;
                }
                break;
            case JournalEntry::Kind::Value:
                RestoreValue(entry);
                break;
            case JournalEntry::Kind::File:
                RestoreFile(entry);
                break;
            case JournalEntry::Kind::Folder:
                RestoreFolder(entry);
                break;
            case JournalEntry::Kind::Dacls:
                PutBackDacls(entry);
                break;
            case JournalEntry::Kind::Attributes:
                PutBackAttributes(entry);
                break;
        }
    }

    // Windows looks for the restored devices and installs their restored drivers.
    void Rescan() {
        if (!rescan_) return;
        const Dword result = platform_.devices.RescanDevices();
        if (result == kConfigRetSuccess) {
            Log("asked Windows to look for devices again");
        } else {
            Log("Windows did not look for devices again (CONFIGRET " + std::to_string(result) +
                "); a restart, or Scan for hardware changes, finds them");
        }
    }

    const Tally& tally() const { return tally_; }
    const std::string& log() const { return log_; }

  private:
    void Log(const std::string& line) { log_ += line + "\r\n"; }
    void Fail(const std::string& what) {
        tally_.failures.push_back(what);
        Log("NOT RESTORED " + what);
    }
    // An item that is there again: the run could not remove it, or it came back.
    void Kept(const JournalEntry& entry, const std::string& item) {
        if (!entry.removed) {
            Log("left " + item + ": the run did not remove it");
            return;
        }
        ++tally_.kept;
        Log("kept " + item + ": it exists again");
    }

    // The keys that are missing, with their values; then their DACLs, each key's before
    // its subkeys', so that what a key passes on is in place before its subkeys' own go
    // on top. Returns the number of keys made.
    int RestoreKeys(const JournalEntry& entry) {
        std::vector<const KeyRecord*> made;
        for (const KeyRecord& key : entry.keys) {
            const std::string name = RegistryName(key.root, key.path);
            if (KeyExists(registry_, key.root, key.path.c_str())) {
                Kept(entry, name);
                continue;
            }
            std::unique_ptr<RegistryKey> handle;
            Dword disposition = 0;
            const std::string above = DeepestExisting(registry_, key.root, key.path);
            const Long created = WithTakeOver(registry_, key.root, above, [&] {
                return registry_.CreateKey(key.root, key.path.c_str(), kKeyAllAccess, &handle,
                                           &disposition);
            });
            if (created != kErrorSuccess) {
                Fail(name + ": " + Error(created));
                continue;
            }
            for (const CapturedValue& value : key.values) {
                const Long set =
                    handle->SetValue(value.name.c_str(), value.type,
                                     reinterpret_cast<const unsigned char*>(value.data.data()),
                                     static_cast<Dword>(value.data.size()));
                if (set != kErrorSuccess) Fail(name + " \"" + value.name + "\": " + Error(set));
            }
            made.push_back(&key);
        }
        for (const KeyRecord* key : made) {
            if (key->dacl.empty()) continue;
            const Long written =
                WriteKeyDaclExactly(registry_, key->root, key->path.c_str(), key->dacl);
            if (written != kErrorSuccess) {
                Fail(RegistryName(key->root, key->path) + " DACL: " + Error(written));
            }
        }
        if (!made.empty()) {
            tally_.restored.keys += static_cast<int>(made.size());
            Log("restored " + entry.subject + " (" + std::to_string(made.size()) +
                (made.size() == 1 ? " key)" : " keys)"));
        }
        return static_cast<int>(made.size());
    }

    void RestoreValue(const JournalEntry& entry) {
        const KeyRecord& key = entry.keys.front();
        const CapturedValue& value = key.values.front();
        if (!KeyExists(registry_, key.root, key.path.c_str())) {
            Fail(entry.subject + ": its key is gone");
            return;
        }
        const Long result = WithTakeOver(registry_, key.root, key.path, [&] {
            std::unique_ptr<RegistryKey> handle;
            const Long opened = registry_.OpenKey(key.root, key.path.c_str(),
                                                  kKeyQueryValue | kKeySetValue, &handle);
            if (opened != kErrorSuccess) return opened;
            Dword size = 0;
            if (handle->QueryValue(value.name.c_str(), nullptr, nullptr, &size) == kErrorSuccess) {
                return kErrorAlreadyExists;
            }
            return handle->SetValue(value.name.c_str(), value.type,
                                    reinterpret_cast<const unsigned char*>(value.data.data()),
                                    static_cast<Dword>(value.data.size()));
        });
        if (result == kErrorAlreadyExists) {
            Kept(entry, entry.subject);
        } else if (result != kErrorSuccess) {
            Fail(entry.subject + ": " + Error(result));
        } else {
            ++tally_.restored.values;
            Log("restored " + entry.subject);
        }
    }

    // A file or folder that is not there again is made by `make`, then given its
    // attributes.
    template <typename Make>
    void RestorePath(const JournalEntry& entry, int* restored, const char* refusal, Make make) {
        const char* path = entry.subject.c_str();
        if (files_.GetAttributes(path) != kInvalidAttributes) {
            Kept(entry, entry.subject);
            return;
        }
        if (!make(path)) {
            Fail(entry.subject + ": " + refusal);
            return;
        }
        if ((entry.attributes & kSettableAttributes) != 0) {
            files_.SetAttributes(path, entry.attributes & kSettableAttributes);
        }
        ++*restored;
        Log("restored " + entry.subject);
    }

    void RestoreFile(const JournalEntry& entry) {
        const auto copy = copies_.find(entry.number);
        // A file whose copy is missing was named when the copies were read.
        if (copy == copies_.end() &&
            files_.GetAttributes(entry.subject.c_str()) == kInvalidAttributes) {
            return;
        }
        RestorePath(entry, &tally_.restored.files, "it can't be written", [&](const char* path) {
            return files_.WriteFileFlushed(path, copy->second.data(),
                                           static_cast<Dword>(copy->second.size()));
        });
    }

    void RestoreFolder(const JournalEntry& entry) {
        RestorePath(entry, &tally_.restored.folders, "it can't be made",
                    [&](const char* path) { return files_.CreateDirectoryAt(path, nullptr); });
    }

    // A run stopped between a take-over and its release left the key with the
    // take-over's DACL.
    void PutBackDacls(const JournalEntry& entry) {
        for (const KeyRecord& key : entry.keys) {
            if (!KeyExists(registry_, key.root, key.path.c_str()) ||
                ReadKeyDaclText(registry_, key.root, key.path) == key.dacl) {
                continue;
            }
            const std::string name = RegistryName(key.root, key.path);
            const Long written =
                WriteKeyDaclExactly(registry_, key.root, key.path.c_str(), key.dacl);
            if (written != kErrorSuccess) {
                Fail(name + " DACL: " + Error(written));
                continue;
            }
            ++tally_.put;
            Log("put back the DACL of " + name);
        }
    }

    // A run stopped between clearing a file's attributes and deleting it left them so.
    void PutBackAttributes(const JournalEntry& entry) {
        const Dword now = files_.GetAttributes(entry.subject.c_str());
        if (now == kInvalidAttributes || now == entry.attributes) return;
        if (!files_.SetAttributes(entry.subject.c_str(), entry.attributes & kSettableAttributes)) {
            Fail(entry.subject + " attributes");
            return;
        }
        ++tally_.put;
        Log("put back the attributes of " + entry.subject);
    }

    Platform& platform_;
    Registry& registry_;
    Files& files_;
    std::string folder_;
    std::map<int, std::string> copies_;  // by entry number
    Tally tally_;
    std::string log_;
    bool rescan_ = false;
};

std::string Outcome(const std::string& name, const std::string& folder, const Tally& tally) {
    std::string text = "Restored from the receipt " + name + ": " + tally.restored.Text() + ".";
    if (tally.put > 0) {
        text += " " + Counted(tally.put, "DACL or attribute", "DACLs and attributes") +
                " a stopped run had changed put back.";
    }
    if (tally.kept > 0) {
        text += " " + Counted(tally.kept, "item exists", "items exist") + " again and " +
                (tally.kept == 1 ? "was" : "were") + " left as " +
                (tally.kept == 1 ? "it is." : "they are.");
    }
    if (!tally.failures.empty()) {
        text += "\r\n\r\nNot restored (" + std::to_string(tally.failures.size()) + "):";
        for (size_t i = 0; i < tally.failures.size() && i < 10; ++i) {
            text += "\r\n  " + tally.failures[i];
        }
        if (tally.failures.size() > 10) text += "\r\n  ...";
    }
    return text + "\r\n\r\nRestore.log in " + folder + " lists everything.";
}

std::string Now(System& system) {
    LocalTime now;
    system.ReadLocalTime(&now);
    return TimeText(now);
}

// The receipt folder `named` stands for, in `receipts`; "" with `problem` set when it
// names none there.
std::string ReceiptFolder(Files& files, const std::string& receipts, std::string named,
                          std::string* problem) {
    if (named.empty()) {
        const std::vector<std::string> names = ReceiptNames(files, receipts);
        if (names.empty()) {
            *problem = "There is no receipt in " + receipts + ".";
            return "";
        }
        return receipts + "\\" + names.back();
    }
    while (named.size() > 1 && (named.back() == '\\' || named.back() == '/')) named.pop_back();
    const std::string inside = receipts + "\\";
    if (named.size() > inside.size() && EqualsNoCase(named.substr(0, inside.size()), inside)) {
        named = named.substr(inside.size());
    }
    // Only a receipt kept where nobody but the administrators may write is read.
    if (named.find_first_of("\\/:") != std::string::npos || named == "." || named == "..") {
        *problem = named + " is not a receipt in " + receipts +
                   ": only the receipts kept there are restored.";
        return "";
    }
    const std::string folder = receipts + "\\" + named;
    if (files.GetAttributes(folder.c_str()) == kInvalidAttributes) {
        *problem = "There is no receipt " + named + " in " + receipts + ".";
        return "";
    }
    return folder;
}

}  // namespace

std::string RestoreReceipt(Platform& platform, const std::string& named) {
    Files& files = platform.files;
    const std::string receipts = ReceiptsFolder(files);
    if (receipts.empty()) return "The Windows directory is not known.";
    const std::string state = receipts.substr(0, receipts.rfind('\\'));
    if (files.GetAttributes(receipts.c_str()) == kInvalidAttributes) {
        return "There is no receipt: " + receipts + " does not exist.";
    }
    std::string problem;
    const std::string folder = ReceiptFolder(files, receipts, named, &problem);
    if (folder.empty()) return problem;
    const std::string copies = folder + "\\" + kCopiesFolderName;
    for (const std::string& path : {state, receipts, folder, copies}) {
        if (path == copies && files.GetAttributes(path.c_str()) == kInvalidAttributes) continue;
        const std::string why = WhyNotAdministratorsOnly(platform, path);
        if (!why.empty()) {
            return "Nothing was restored: " + why +
                   ". A receipt that others could have changed is never read.";
        }
    }
    const std::string name = folder.substr(folder.rfind('\\') + 1);
    const std::string log = folder + "\\" + kRestoreLogName;
    const std::string mark = folder + "\\" + kRestoredMarkName;
    if (files.GetAttributes(mark.c_str()) != kInvalidAttributes) {
        const std::string line = Now(platform.system) + " asked again: already restored\r\n";
        AppendToPlainFile(files, log.c_str(), line.data(), static_cast<Dword>(line.size()));
        return "The receipt " + name + " was restored already; nothing was changed.";
    }

    std::string bytes;
    Journal journal;
    if (!files.ReadWholeFile((folder + "\\" + kJournalName).c_str(), &bytes)) {
        return "Nothing was restored: " + folder + " holds no readable " + kJournalName + ".";
    }
    if (!ReadJournal(bytes, &journal, &problem)) {
        return "Nothing was restored: " + problem + ". The receipt is not as the run wrote it.";
    }
    if (!journal.ended &&
        files.GetAttributes((folder + "\\" + kSummaryName).c_str()) != kInvalidAttributes) {
        return "Nothing was restored: " + std::string(kJournalName) +
               " is cut short (the run ended, as Summary.txt shows, but its last entries are "
               "missing).";
    }

    Restorer restorer(platform, folder);
    for (const JournalEntry& entry : journal.entries) {
        if (entry.kind == JournalEntry::Kind::File) restorer.ReadCopy(entry);
    }
    for (auto entry = journal.entries.rbegin(); entry != journal.entries.rend(); ++entry) {
        restorer.Restore(*entry);
    }
    restorer.Rescan();
    std::string text = Now(platform.system) + " restore of " + name + "\r\n";
    if (journal.unfinished != 0) {
        text += "entry #" + std::to_string(journal.unfinished) +
                " was being written when the run stopped; its removal had not begun\r\n";
    }
    text += restorer.log();
    AppendToPlainFile(files, log.c_str(), text.data(), static_cast<Dword>(text.size()));
    const std::string restored = "Restored on " + Now(platform.system) + "\r\n";
    files.WriteFileFlushed(mark.c_str(), restored.data(), static_cast<Dword>(restored.size()));
    return Outcome(name, folder, restorer.tally());
}

}  // namespace cvp
