#include "receipt/journal.h"

#include <cstdio>
#include <map>
#include <string_view>

#include "platform/image/ansi_text.h"
#include "platform/image/machine_image.h"

namespace cvp {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kEntryMark = "; #";
constexpr std::string_view kRunEnded = "; run ended: ";
constexpr size_t kHexLineWidth = 76;  // regedit's own wrapping, within 80 columns

struct KindName {
    JournalEntry::Kind kind;
    std::string_view name;
};
constexpr KindName kKindNames[] = {
    {JournalEntry::Kind::Key, "key"},       {JournalEntry::Kind::Value, "value"},
    {JournalEntry::Kind::Device, "device"}, {JournalEntry::Kind::Module, "module"},
    {JournalEntry::Kind::File, "file"},     {JournalEntry::Kind::Folder, "folder"},
    {JournalEntry::Kind::Dacls, "dacls"},   {JournalEntry::Kind::Attributes, "attributes"},
};

std::string_view NameOf(JournalEntry::Kind kind) {
    for (const KindName& entry : kKindNames) {
        if (entry.kind == kind) return entry.name;
    }
    return "";
}

// --- Writing ------------------------------------------------------------------------

// A comment holds one line: line breaks in a device's texts become blanks.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

std::string Comment(std::string_view text) { return "; " + OneLine(std::string(text)) + "\r\n"; }

// regedit's quoting: backslashes and quotes escaped; line breaks too, which the reader
// takes back (regedit itself would keep them raw, breaking the line).
std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool IsStringType(Dword type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// A REG_SZ that quoted text gives back exactly: one terminator, no control characters.
bool IsPlainText(const std::string& data) {
    if (data.empty() || data.back() != '\0') return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (static_cast<unsigned char>(data[i]) < 0x20) return false;
    }
    return true;
}

// "hex(7):61,00,..." wrapped as regedit wraps it, each continued line ending in "\".
std::string HexData(const std::string& bytes, size_t column) {
    std::string out;
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
        out += pair;
        column += 2;
        if (i + 1 == bytes.size()) break;
        out += ',';
        ++column;
        if (column + 3 > kHexLineWidth) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
    return out;
}

std::string ValueLine(const CapturedValue& value) {
    std::string line = (value.name.empty() ? "@" : Quoted(value.name)) + "=";
    if (value.type == kRegSz && IsPlainText(value.data)) {
        return line + Quoted(std::string_view(value.data).substr(0, value.data.size() - 1)) +
               "\r\n";
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        char number[16];
        const auto byte = [&](int i) { return static_cast<unsigned char>(value.data[i]); };
        std::snprintf(number, sizeof number, "dword:%02x%02x%02x%02x", byte(3), byte(2), byte(1),
                      byte(0));
        return line + number + "\r\n";
    }
    char prefix[16];
    if (value.type == kRegBinary) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    }
    line += prefix;
    // In a UTF-16 export the bytes of string types are UTF-16LE, as the registry holds
    // them.
    const std::string bytes = IsStringType(value.type) ? AnsiToUtf16Le(value.data) : value.data;
    return line + HexData(bytes, line.size()) + "\r\n";
}

std::string Attributes(Dword attributes) {
    char text[32];
    std::snprintf(text, sizeof text, "attributes 0x%08X", static_cast<unsigned>(attributes));
    return text;
}

// --- Reading ------------------------------------------------------------------------

struct Line {
    std::string_view text;  // without its line end
    size_t start = 0;       // offset in the text
    size_t next = 0;        // offset of the next line
    bool ended = false;     // it has its line end
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        Line line;
        line.start = start;
        line.ended = end != std::string_view::npos;
        line.next = line.ended ? end + 1 : text.size();
        line.text = text.substr(start, (line.ended ? end : text.size()) - start);
        if (!line.text.empty() && line.text.back() == '\r') line.text.remove_suffix(1);
        lines.push_back(line);
        start = line.next;
    }
    return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// "; #12 key ..." as its number and the rest ("key ..."); false for any other line.
bool ParseMark(std::string_view text, int* number, std::string_view* rest) {
    if (!StartsWith(text, kEntryMark)) return false;
    text.remove_prefix(kEntryMark.size());
    int value = 0;
    size_t digits = 0;
    while (digits < text.size() && digits < 9 && text[digits] >= '0' && text[digits] <= '9') {
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    if (digits == 0 || digits == text.size() || text[digits] != ' ') return false;
    *number = value;
    *rest = text.substr(digits + 1);
    return true;
}

bool ParseNumber(std::string_view text, int base, unsigned long long* value) {
    if (text.empty() || text.size() > 20) return false;
    unsigned long long result = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return false;
        result = result * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    *value = result;
    return true;
}

// One entry as it is read: its lines, and the comment lines that say more than the
// regedit lines between them.
struct OpenEntry {
    JournalEntry entry;
    int firstLine = 0;
    int lastLine = 0;
    bool hasAttributes = false;
    std::map<int, std::string> keyDacls;  // "; DACL" lines by their line number
};

class JournalReader {
  public:
    bool Read(const std::string& bytes, Journal* journal, std::string* problem) {
        if (!HasUtf16LeBom(bytes)) {
            *problem = std::string(kJournalName) + " is not a UTF-16 regedit file";
            return false;
        }
        std::string_view units = std::string_view(bytes).substr(2);
        units.remove_suffix(units.size() % 2);
        Utf16LeToAnsi(units, &text_);
        if (!ReadLines()) {
            *problem = problem_;
            return false;
        }
        // Only what was written whole goes to the regedit reader.
        std::vector<RegistryEdit> edits;
        if (!ReadRegistryExport(kJournalName, bytes.substr(0, 2 + 2 * cut_), &edits, problem)) {
            return false;
        }
        for (const RegistryEdit& edit : edits) {
            if (!AddEdit(edit)) {
                *problem = problem_;
                return false;
            }
        }
        for (OpenEntry& read : entries_) {
            if (!Complete(read)) {
                *problem = problem_;
                return false;
            }
            journal_.entries.push_back(std::move(read.entry));
        }
        *journal = std::move(journal_);
        return true;
    }

  private:
    bool Fail(int line, const std::string& what) {
        problem_ = std::string(kJournalName) + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    bool ReadLines() {
        const std::vector<Line> lines = SplitLines(text_);
        if (lines.empty() || lines[0].text != kHeader) return Fail(1, "no regedit header");
        cut_ = lines[0].next;
        for (size_t i = 1; i < lines.size(); ++i) {
            const int number = static_cast<int>(i) + 1;
            const Line& line = lines[i];
            // A line the run stopped in the middle of writing is left out with its entry.
            if (!line.ended) {
                if (open_ || StartsWith(line.text, kEntryMark)) break;
                return Fail(number, "the file ends in the middle of a line");
            }
            if (!ReadLine(number, line.text)) return false;
            if (!open_) cut_ = line.next;
        }
        if (open_) journal_.unfinished = openEntry_.entry.number;
        return true;
    }

    bool ReadLine(int number, std::string_view text) {
        if (journal_.ended && !text.empty()) return Fail(number, "text after the end of the run");
        int mark = 0;
        std::string_view rest;
        if (ParseMark(text, &mark, &rest)) return ReadMark(number, mark, rest);
        if (StartsWith(text, kRunEnded)) return ReadRunEnded(number, text);
        if (StartsWith(text, ";")) return open_ ? ReadDetail(number, text) : true;
        if (text.empty()) return true;
        if (!open_) return Fail(number, "registry data outside an entry");
        return true;
    }

    bool ReadMark(int number, int mark, std::string_view rest) {
        if (open_) {
            if (mark != openEntry_.entry.number || rest != "end") {
                return Fail(number, "entry #" + std::to_string(openEntry_.entry.number) +
                                        " has no end line");
            }
            openEntry_.lastLine = number;
            entries_.push_back(std::move(openEntry_));
            open_ = false;
            return true;
        }
        if (rest == "not removed") {
            for (OpenEntry& read : entries_) {
                if (read.entry.number == mark) {
                    read.entry.removed = false;
                    return true;
                }
            }
            return Fail(number, "no entry #" + std::to_string(mark) + " before this line");
        }
        const int expected = entries_.empty() ? 1 : entries_.back().entry.number + 1;
        if (mark != expected) {
            return Fail(number, "entry #" + std::to_string(mark) + " where #" +
                                    std::to_string(expected) + " belongs");
        }
        const size_t blank = rest.find(' ');
        const std::string_view kind = rest.substr(0, blank);
        openEntry_ = OpenEntry();
        openEntry_.firstLine = number;
        openEntry_.entry.number = mark;
        openEntry_.entry.subject =
            blank == std::string_view::npos ? "" : std::string(rest.substr(blank + 1));
        for (const KindName& known : kKindNames) {
            if (known.name == kind) {
                openEntry_.entry.kind = known.kind;
                open_ = true;
                return true;
            }
        }
        return Fail(number, "unknown entry kind '" + std::string(kind) + "'");
    }

    bool ReadRunEnded(int number, std::string_view text) {
        if (open_) return Fail(number, "the run's end inside an entry");
        unsigned long long count = 0;
        std::string_view rest = text.substr(kRunEnded.size());
        const size_t blank = rest.find(' ');
        const int last = entries_.empty() ? 0 : entries_.back().entry.number;
        if (!ParseNumber(rest.substr(0, blank), 10, &count) ||
            count != static_cast<unsigned long long>(last)) {
            return Fail(number, "the run's end counts other entries than the file holds");
        }
        journal_.ended = true;
        return true;
    }

    bool ReadDetail(int number, std::string_view text) {
        JournalEntry& entry = openEntry_.entry;
        const auto field = [&](std::string_view name, std::string_view* value) {
            const std::string prefix = "; " + std::string(name) + " ";
            if (!StartsWith(text, prefix)) return false;
            *value = text.substr(prefix.size());
            return true;
        };
        std::string_view value;
        unsigned long long parsed = 0;
        if (field("DACL", &value)) {
            openEntry_.keyDacls[number] = std::string(value);
        } else if (field("description", &value)) {
            entry.description = std::string(value);
        } else if (field("hardware ID", &value)) {
            entry.hardwareIds.emplace_back(value);
        } else if (field("copy", &value)) {
            entry.copy = std::string(value);
        } else if (field("size", &value)) {
            if (!ParseNumber(value, 10, &parsed)) return Fail(number, "bad size");
            entry.size = std::string(value);
        } else if (field("attributes", &value)) {
            if (!StartsWith(value, "0x") || !ParseNumber(value.substr(2), 16, &parsed) ||
                parsed > 0xFFFFFFFFu) {
                return Fail(number, "bad attributes");
            }
            entry.attributes = static_cast<Dword>(parsed);
            openEntry_.hasAttributes = true;
        } else if (field("dacl", &value)) {
            const size_t blank = value.rfind(' ');
            KeyRecord key;
            if (blank == std::string_view::npos ||
                !ParseRegistryName(std::string(value.substr(0, blank)), &key.root, &key.path)) {
                return Fail(number, "bad dacl line");
            }
            key.dacl = std::string(value.substr(blank + 1));
            entry.keys.push_back(std::move(key));
        } else {
            return Fail(number, "unknown comment in an entry");
        }
        return true;
    }

    bool AddEdit(const RegistryEdit& edit) {
        OpenEntry* owner = nullptr;
        for (OpenEntry& read : entries_) {
            if (edit.line > read.firstLine && edit.line < read.lastLine) owner = &read;
        }
        if (owner == nullptr) return Fail(edit.line, "registry data outside an entry");
        std::vector<KeyRecord>& keys = owner->entry.keys;
        switch (edit.kind) {
            case RegistryEdit::Kind::CreateKey: {
                KeyRecord key{edit.root, edit.path, "", {}};
                const auto dacl = owner->keyDacls.find(edit.line + 1);
                if (dacl != owner->keyDacls.end()) {
                    key.dacl = dacl->second;
                    owner->keyDacls.erase(dacl);
                }
                keys.push_back(std::move(key));
                return true;
            }
            case RegistryEdit::Kind::SetValue:
                keys.back().values.push_back(
                    {edit.valueName, edit.type, std::string(edit.data.begin(), edit.data.end())});
                return true;
            case RegistryEdit::Kind::DeleteKey:
            case RegistryEdit::Kind::DeleteValue:
                break;
        }
        return Fail(edit.line, "a receipt deletes nothing");
    }

    // What each kind needs is there.
    bool Complete(const OpenEntry& read) {
        const JournalEntry& entry = read.entry;
        if (!read.keyDacls.empty()) {
            return Fail(read.keyDacls.begin()->first, "a DACL line not under its key");
        }
        bool complete = true;
        switch (entry.kind) {
            case JournalEntry::Kind::Key:
                complete = !entry.keys.empty();
                break;
            case JournalEntry::Kind::Value:
                complete = entry.keys.size() == 1 && entry.keys[0].values.size() == 1;
                break;
            case JournalEntry::Kind::File:
                complete = read.hasAttributes && !entry.copy.empty() && !entry.size.empty();
                break;
            case JournalEntry::Kind::Folder:
            case JournalEntry::Kind::Attributes:
                complete = read.hasAttributes;
                break;
            case JournalEntry::Kind::Device:
            case JournalEntry::Kind::Module:
            case JournalEntry::Kind::Dacls:
                break;
        }
        if (complete && !entry.subject.empty()) return true;
        return Fail(read.firstLine, "entry #" + std::to_string(entry.number) + " (" +
                                        std::string(NameOf(entry.kind)) + ") is incomplete");
    }

    std::string text_;
    std::string problem_;
    size_t cut_ = 0;  // how much of the text was written whole
    bool open_ = false;
    OpenEntry openEntry_;
    std::vector<OpenEntry> entries_;
    Journal journal_;
};

}  // namespace

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string ItemCounts::Text() const {
    return Counted(keys, "registry key", "registry keys") + ", " +
           Counted(values, "value", "values") + ", " + Counted(files, "file", "files") + ", " +
           Counted(folders, "folder", "folders") + ", " + Counted(devices, "device", "devices");
}

std::string TimeText(const LocalTime& time) {
    char text[96];  // room for any unsigned values, whatever the compiler knows of them
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return text;
}

std::string RegistryName(Root root, const std::string& path) {
    return std::string(RootName(root)) + (path.empty() ? "" : "\\" + path);
}

bool ParseRegistryName(const std::string& name, Root* root, std::string* path) {
    const size_t slash = name.find('\\');
    if (!RootFromName(name.substr(0, slash), root)) return false;
    *path = slash == std::string::npos ? "" : name.substr(slash + 1);
    return true;
}

std::string JournalHeader(const std::string& title) {
    return std::string(kHeader) + "\r\n\r\n" + Comment(title) +
           Comment("Each entry below is what one removal took, written before it happened.") +
           "\r\n";
}

std::string FormatEntry(const JournalEntry& entry) {
    const std::string number = std::to_string(entry.number);
    std::string text =
        Comment("#" + number + " " + std::string(NameOf(entry.kind)) + " " + entry.subject);
    switch (entry.kind) {
        case JournalEntry::Kind::Device:
            text += Comment("description " + entry.description);
            for (const std::string& id : entry.hardwareIds) text += Comment("hardware ID " + id);
            break;
        case JournalEntry::Kind::File:
            text += Comment(Attributes(entry.attributes)) + Comment("size " + entry.size) +
                    Comment("copy " + entry.copy);
            break;
        case JournalEntry::Kind::Folder:
        case JournalEntry::Kind::Attributes:
            text += Comment(Attributes(entry.attributes));
            break;
        case JournalEntry::Kind::Dacls:
            for (const KeyRecord& key : entry.keys) {
                text += Comment("dacl " + RegistryName(key.root, key.path) + " " + key.dacl);
            }
            break;
        case JournalEntry::Kind::Key:
        case JournalEntry::Kind::Value:
        case JournalEntry::Kind::Module:
            break;
    }
    if (entry.kind != JournalEntry::Kind::Dacls) {
        for (const KeyRecord& key : entry.keys) {
            text += "[" + RegistryName(key.root, key.path) + "]\r\n";
            if (!key.dacl.empty()) text += Comment("DACL " + key.dacl);
            for (const CapturedValue& value : key.values) text += ValueLine(value);
        }
    }
    return text + Comment("#" + number + " end");
}

std::string NotRemovedLine(int number) {
    return Comment("#" + std::to_string(number) + " not removed");
}

std::string RunEndedLine(int entries) {
    return std::string(kRunEnded) + std::to_string(entries) + " entries\r\n";
}

std::string JournalBytes(const std::string& text) { return AnsiToUtf16Le(text); }

bool ReadJournal(const std::string& bytes, Journal* journal, std::string* problem) {
    return JournalReader().Read(bytes, journal, problem);
}

}  // namespace cvp
