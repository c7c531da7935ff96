// What each token's run does to a machine image, as the image's traces.txt lists it,
// and the collateral-damage check of a run's changes against that list. Every
// scenario goes through it: on the in-memory machine (the unit tests) and with the
// real executable under Wine (`scenario check`).
//
// traces.txt: one line per item, "FATE TOKEN ITEM [# why]":
//   gone TOKEN ITEM      the family's trace; a run of TOKEN removes it
//   reached TOKEN ITEM   another product's item that a run of TOKEN removes (# why)
//   missed TOKEN ITEM    the family's trace that a run of TOKEN leaves (# why)
//   again TOKEN ITEM     what a second run of TOKEN removes (# why)
//   kept * ITEM          another product's item that no run touches
// ITEM is a key below HKEY_LOCAL_MACHINE, a value written KEY "NAME", or a file or
// folder written C:\PATH; an item stands for its whole subtree. Everything the list
// does not remove for a token must survive that token's run unchanged.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cvp::scenario {

constexpr const char* kTracesFile = "traces.txt";

enum class Fate { Gone, Reached, Missed, Again, Kept };

// A key below HKEY_LOCAL_MACHINE, one of its values, or a file ("C:\PATH").
struct ItemName {
    std::string key;
    bool isValue = false;
    std::string value;
};

struct TraceItem {
    Fate fate = Fate::Kept;
    std::string token;  // "*" for kept items
    ItemName name;
    std::string why;
    int line = 0;

    bool IsFile() const;
    std::string Describe() const;  // "traces.txt:LINE ITEM"
};

struct Traces {
    std::vector<TraceItem> items;
    std::vector<std::string> errors;  // "FILE:LINE: what is wrong"
};

Traces ReadTraces(const std::string& file);

// A text's lines, without their line ends (LF or CR LF).
std::vector<std::string> SplitLines(const std::string& text);

// A line of MemoryMachine::DumpRegistry (HKEY_LOCAL_MACHINE\KEY or KEY "NAME" = DATA) or
// of a file listing (drive_c/PATH, folders ending in "/"), as an item name.
bool ParseListedLine(const std::string& line, ItemName* name);

// The items that decide a name's fate: those naming the value itself, else those naming
// its key or the nearest ancestor that has items.
class TraceIndex {
  public:
    explicit TraceIndex(const std::vector<TraceItem>& items);
    std::vector<const TraceItem*> Deciding(const ItemName& name) const;

  private:
    std::map<std::string, std::vector<const TraceItem*>> byName_;
};

// Which run of a token a change list comes from.
enum class RunOf {
    First,   // removes the "gone" and "reached" items, every one of them
    Second,  // the next run on the same machine: removes the "again" items, every one
    Part,    // a wizard run on one chosen entry: removes only items listed for the token
};

// Whether that run of `token` removes what `deciding` decides.
bool RemovedBy(const std::vector<const TraceItem*>& deciding, const std::string& token, RunOf run);
bool RemovesAnything(const Traces& traces, const std::string& token, RunOf run);

// Checks a run's change list (ChangeList lines, registry and files together): every
// line it removes is one the list lets that run of `token` remove, nothing is added or
// changed but the log, and (but for a part run) every item the run removes is gone.
// One message per fault.
std::vector<std::string> CheckChanges(const Traces& traces, const std::string& token,
                                      const std::vector<std::string>& changes, RunOf run);

}  // namespace cvp::scenario
