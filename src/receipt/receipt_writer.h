// The receipt of a run: everything a removal takes is written to the run's receipt
// folder, and on the disk, before the removal may happen; a removal whose entry can't
// be written is refused, so it is neither made nor logged. A run stopped at any point
// leaves a receipt that covers all it removed.
//
// The folder (receipt_folders.h) is made at the first entry, so a run that removes
// nothing leaves none. It holds Receipt.reg (journal.h), Files\ with a copy of each
// removed file, and, once the run has ended, Summary.txt.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "changes/footprints.h"
#include "changes/removal_watch.h"
#include "receipt/journal.h"
#include "run/run_state.h"

namespace cvp {

class ReceiptWriter : public RemovalObserver {
  public:
    // `machine` is the platform beneath the watch: the receipt's own reads and writes
    // are no removals.
    ReceiptWriter(Platform machine, ProductFamily family);

    bool BeforeKeyDaclWrite(Root root, const std::string& path) override;
    bool BeforeAttributeChange(const std::string& path) override;
    bool BeforeRemoval(const Removal& removal) override;
    void AfterRemoval(const Removal& removal, bool removed) override;

    // Closes the journal and writes the summary, when there is a receipt.
    void Finish();

    // "C:\WINDOWS\CVPurger\Receipts\2024-...": "" while nothing was written.
    const std::string& folder() const { return folder_; }

  private:
    bool Open();
    bool Append(const std::string& text, bool flushed);
    bool Write(JournalEntry* entry, bool flushed);
    // What the removal is about to take; false when that can't be read (the removal is
    // then refused). An entry with no subject has nothing to keep.
    bool Describe(const Removal& removal, JournalEntry* entry);
    void AddKeyTree(Root root, const std::string& path, JournalEntry* entry);
    bool CopyFile(JournalEntry* entry);
    void Count(const JournalEntry& entry);
    Dword AttributesBefore(const std::string& path);
    std::string Summary() const;

    Platform machine_;
    ProductFamily family_;
    // The keys each removed device takes: a run adds no interface key, so they are
    // indexed once.
    DeviceFootprints footprints_;
    LocalTime start_;
    std::string folder_;
    std::unique_ptr<OpenedFile> journal_;  // Receipt.reg, from the first entry on
    bool unwritable_ = false;
    int entries_ = 0;
    // The entries of the removals under way, oldest first; number 0 for one that had
    // nothing to keep.
    std::deque<JournalEntry> underWay_;
    ItemCounts removed_;
    int modules_ = 0;      // unregistered
    std::string devices_;  // the summary's lines about them
    // What a take-over or a change of attributes found, before the run changed it: the
    // entry of a later removal keeps that, not what the change left.
    std::map<std::string, std::string> daclsBefore_;  // by KeyId
    std::map<std::string, Dword> attributesBefore_;   // by lower-case path
};

// A run's platform with its receipt: what is removed through platform() is in the
// receipt first.
class ReceiptRun {
  public:
    ReceiptRun(Platform machine, ProductFamily family)
        : writer_(machine, family), watch_(machine, writer_) {}

    Platform& platform() { return platform_; }
    void Finish() { writer_.Finish(); }

  private:
    ReceiptWriter writer_;
    RemovalWatch watch_;
    Platform platform_ = watch_.platform();
};

}  // namespace cvp
