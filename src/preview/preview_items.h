// The list half of a preview: every item a run removes, one a line, in the order of
// removal, as the record of changes (changes/removal_watch) reports the removals and
// the view of the machine (preview/preview_overlay) shows what each one takes.
//
//   device DESCRIPTION (INSTANCE-ID)       then each key Windows takes with it
//   module C:\PATH                         for what its own unregistration removes
//   file C:\PATH
//   folder C:\PATH\                        a folder ends in a backslash
//   key HKEY_LOCAL_MACHINE\PATH            a removed key and each key below it
//   value HKEY_LOCAL_MACHINE\PATH "NAME"   a value removed from a key that stays
//
// What the preview can't know is said after a tab on the item's line, in parentheses.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "changes/footprints.h"
#include "changes/removal_watch.h"

namespace cvp {

class PreviewItems : public RemovalObserver {
  public:
    // `view` is what the removals are read from before they happen, `footprints` what
    // Windows takes with a device there.
    PreviewItems(Platform view, DeviceFootprints& footprints)
        : view_(view), footprints_(footprints) {}

    bool BeforeRemoval(const Removal& removal) override;
    void AfterRemoval(const Removal& removal, bool removed) override;

    // The items, each line ending in CR LF.
    std::string Text() const;

  private:
    struct Item {
        std::string line;
        std::string note;
        std::string key;  // a key's or a value's key, as preview/hidden_state names keys
        bool value = false;
    };

    void AddKeyTree(Root root, const std::string& path, std::vector<Item>* items);
    std::vector<Item> Describe(const Removal& removal);

    Platform view_;
    DeviceFootprints& footprints_;
    // What each removal under way takes, oldest first (one call may remove two things).
    std::deque<std::vector<Item>> pending_;
    std::vector<Item> items_;
};

}  // namespace cvp
