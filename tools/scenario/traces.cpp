#include "scenario/traces.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/image/ascii_text.h"

namespace cvp::scenario {
namespace {

constexpr const char* kMachineRoot = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kListedDrive = "drive_c/";
constexpr const char* kFileDrive = "C:\\";
// What a run may add: its log, in the folder it starts in, and the program's own state
// folder (which it leaves as it found it, empty).
constexpr const char* kListedLog = "drive_c/cvpurger/UnInstall.log";
constexpr const char* kListedStateFolder = "drive_c/windows/CVPurger/";

std::string Trimmed(const std::string& text) { return std::string(TrimBlanks(text)); }

bool ParseFate(const std::string& word, Fate* fate) {
    static const std::map<std::string, Fate> kFates = {{"gone", Fate::Gone},
                                                       {"reached", Fate::Reached},
                                                       {"missed", Fate::Missed},
                                                       {"again", Fate::Again},
                                                       {"kept", Fate::Kept}};
    const auto found = kFates.find(word);
    if (found == kFates.end()) return false;
    *fate = found->second;
    return true;
}

// "FATE TOKEN ITEM [# why]" into `item`; the fault otherwise.
std::string ParseTraceLine(std::string line, TraceItem* item) {
    // Key names hold "#" ("##?#PCI#..."), never " # ".
    if (const size_t comment = line.find(" # "); comment != std::string::npos) {
        item->why = Trimmed(line.substr(comment + 3));
        line = Trimmed(line.substr(0, comment));
    }
    const size_t first = line.find(' ');
    const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || !ParseFate(line.substr(0, first), &item->fate)) {
        return "expected \"gone|reached|missed|again|kept TOKEN ITEM\"";
    }
    item->token = line.substr(first + 1, second - first - 1);
    std::string rest = Trimmed(line.substr(second + 1));
    if (const size_t quote = rest.find(" \""); quote != std::string::npos) {
        if (rest.back() != '"' || rest.size() < quote + 3) return "a value is written KEY \"NAME\"";
        item->name.isValue = true;
        item->name.value = rest.substr(quote + 2, rest.size() - quote - 3);
        rest = rest.substr(0, quote);
    }
    item->name.key = rest;
    if (rest.empty() || rest.front() == '\\' || rest.back() == '\\') {
        return "a key is written below HKEY_LOCAL_MACHINE, a file as C:\\PATH, without a "
               "trailing backslash";
    }
    if (item->IsFile() && item->name.isValue) return "a file has no values";
    if ((item->fate == Fate::Kept) != (item->token == "*")) {
        return "\"kept\" and only \"kept\" takes the token \"*\"";
    }
    if (item->why.empty() && item->fate != Fate::Gone && item->fate != Fate::Kept) {
        return "a reached, missed or again item says why, after \" # \"";
    }
    return "";
}

// Reads the quoted value name of a dump line from `start` (\\, \" and \xNN escapes).
bool ParseQuotedName(const std::string& line, size_t start, std::string* name) {
    name->clear();
    for (size_t i = start; i < line.size(); ++i) {
        if (line[i] == '"') return true;
        if (line[i] != '\\') {
            name->push_back(line[i]);
        } else if (i + 1 < line.size() && line[i + 1] == 'x' && i + 3 < line.size()) {
            name->push_back(
                static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16)));
            i += 3;
        } else if (i + 1 < line.size()) {
            name->push_back(line[++i]);
        }
    }
    return false;
}

std::string IndexName(const ItemName& name) {
    return LowerCopy(name.key) + (name.isValue ? "\n" + LowerCopy(name.value) : "");
}

bool Removes(const TraceItem& item, const std::string& token, RunOf run) {
    if (item.token != token) return false;
    switch (run) {
        case RunOf::First:
            return item.fate == Fate::Gone || item.fate == Fate::Reached;
        case RunOf::Second:
            return item.fate == Fate::Again;
        case RunOf::Part:
            return item.fate != Fate::Kept;
    }
    return false;
}

std::string Deciders(const std::vector<const TraceItem*>& deciding) {
    if (deciding.empty()) return "not listed";
    std::string text;
    for (const TraceItem* item : deciding) text += (text.empty() ? "" : "; ") + item->Describe();
    return text;
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool TraceItem::IsFile() const { return name.key.rfind(kFileDrive, 0) == 0; }

std::string TraceItem::Describe() const {
    return "traces.txt:" + std::to_string(line) + " " + name.key +
           (name.isValue ? " \"" + name.value + "\"" : "");
}

Traces ReadTraces(const std::string& file) {
    Traces traces;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        traces.errors.push_back("cannot read " + file);
        return traces;
    }
    std::ostringstream content;
    content << in.rdbuf();
    int number = 0;
    for (const std::string& raw : SplitLines(content.str())) {
        ++number;
        const std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        TraceItem item;
        item.line = number;
        const std::string fault = ParseTraceLine(line, &item);
        if (fault.empty()) {
            traces.items.push_back(item);
        } else {
            traces.errors.push_back(file + ":" + std::to_string(number) + ": " + fault);
        }
    }
    return traces;
}

bool ParseListedLine(const std::string& line, ItemName* name) {
    *name = ItemName();
    if (line.rfind(kListedDrive, 0) == 0) {
        std::string path = line.substr(std::string(kListedDrive).size());
        if (!path.empty() && path.back() == '/') path.pop_back();
        std::replace(path.begin(), path.end(), '/', '\\');
        name->key = kFileDrive + path;
        return true;
    }
    if (line.rfind(kMachineRoot, 0) != 0) return false;
    const size_t rootSize = std::string(kMachineRoot).size();
    const size_t quote = line.find(" \"");
    name->key = line.substr(rootSize, quote == std::string::npos ? quote : quote - rootSize);
    name->isValue = quote != std::string::npos;
    return !name->isValue || ParseQuotedName(line, quote + 2, &name->value);
}

TraceIndex::TraceIndex(const std::vector<TraceItem>& items) {
    for (const TraceItem& item : items) byName_[IndexName(item.name)].push_back(&item);
}

std::vector<const TraceItem*> TraceIndex::Deciding(const ItemName& name) const {
    if (name.isValue) {
        if (const auto found = byName_.find(IndexName(name)); found != byName_.end()) {
            return found->second;
        }
    }
    for (std::string key = name.key;;) {
        if (const auto found = byName_.find(IndexName({key, false, ""})); found != byName_.end()) {
            return found->second;
        }
        const size_t slash = key.rfind('\\');
        if (slash == std::string::npos) return {};
        key.resize(slash);
    }
}

bool RemovedBy(const std::vector<const TraceItem*>& deciding, const std::string& token, RunOf run) {
    return std::any_of(deciding.begin(), deciding.end(),
                       [&](const TraceItem* item) { return Removes(*item, token, run); });
}

bool RemovesAnything(const Traces& traces, const std::string& token, RunOf run) {
    return std::any_of(traces.items.begin(), traces.items.end(),
                       [&](const TraceItem& item) { return Removes(item, token, run); });
}

std::vector<std::string> CheckChanges(const Traces& traces, const std::string& token,
                                      const std::vector<std::string>& changes, RunOf run) {
    const TraceIndex index(traces.items);
    std::vector<std::string> faults;
    std::set<std::string> removed;
    for (const std::string& change : changes) {
        if (change.empty()) continue;
        const std::string line = change.size() > 2 ? change.substr(2) : "";
        ItemName name;
        if (change.rfind("- ", 0) != 0 && change.rfind("+ ", 0) != 0) {
            faults.push_back("not a change line: " + change);
        } else if (!ParseListedLine(line, &name)) {
            faults.push_back("unreadable line: " + change);
        } else if (change[0] == '+') {
            if (line != kListedLog && line != kListedStateFolder) {
                faults.push_back("added or changed: " + line);
            }
        } else if (!RemovedBy(index.Deciding(name), token, run)) {
            faults.push_back("removed, but the list keeps it (" + Deciders(index.Deciding(name)) +
                             "): " + line);
        } else {
            removed.insert(IndexName(name));
        }
    }
    if (run == RunOf::Part) return faults;
    for (const TraceItem& item : traces.items) {
        if (RemovedBy(index.Deciding(item.name), token, run) &&
            removed.count(IndexName(item.name)) == 0) {
            faults.push_back("still there, but the list removes it: " + item.Describe());
        }
    }
    return faults;
}

}  // namespace cvp::scenario
