// The regedit export reader. It reads what regedit /E writes (Windows' and Wine's),
// and hand-written files in the same format, and refuses anything it would have to
// guess at, so that an image means the same to the memory machine and to Wine's
// regedit /S.
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/image/ansi_text.h"
#include "platform/image/ascii_text.h"
#include "platform/image/machine_image.h"
#include "platform/image/registry_paths.h"
#include "platform/image/text_lines.h"

namespace cvp {
namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, the whole of `text`.
bool ParseHexNumber(std::string_view text, Dword* value) {
    if (text.empty() || text.size() > 8) return false;
    Dword result = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        result = (result << 4) | static_cast<Dword>(digit);
    }
    *value = result;
    return true;
}

bool IsStringType(Dword type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// Bytes of a comma-separated hex list that may run over several lines.
class HexList {
  public:
    // Adds one line's part; false with `problem` set when it is malformed.
    bool Add(std::string_view part, std::string* problem) {
        size_t i = 0;
        while (i < part.size()) {
            const char c = part[i];
            if (IsBlank(c)) {
                ++i;
            } else if (c == ',') {
                if (!afterByte_) return Problem("empty entry in hex list", problem);
                afterByte_ = false;
                ++i;
            } else if (i + 1 < part.size() && HexDigit(c) >= 0 && HexDigit(part[i + 1]) >= 0) {
                if (afterByte_) return Problem("missing ',' between hex bytes", problem);
                bytes_.push_back(
                    static_cast<unsigned char>(HexDigit(c) * 16 + HexDigit(part[i + 1])));
                afterByte_ = true;
                i += 2;
            } else {
                return Problem("bad hex byte", problem);
            }
        }
        return true;
    }

    std::vector<unsigned char> TakeBytes() { return std::move(bytes_); }

  private:
    static bool Problem(const char* what, std::string* problem) {
        *problem = what;
        return false;
    }

    std::vector<unsigned char> bytes_;
    bool afterByte_ = false;
};

class ExportReader {
  public:
    ExportReader(const std::string& fileName, LineSource& lines, bool unicodeFile,
                 const EditSink& take)
        : fileName_(fileName), lines_(lines), unicodeStrings_(unicodeFile), take_(take) {}

    bool Read(std::string* error) {
        if (!ReadAll()) {
            *error = error_;
            return false;
        }
        return true;
    }

    // The last line read was empty, as regedit ends every key.
    bool EndsWithEmptyLine() const { return lastLineEmpty_; }
    int LineNumber() const { return lines_.number(); }

  private:
    bool ReadAll() {
        if (!ReadHeader()) return false;
        std::string_view line;
        while (NextLine(&line)) {
            if (!ReadLine(line)) return false;
        }
        return error_.empty();
    }

    bool ReadLine(std::string_view line) {
        if (line.empty() || line.front() == ';') return true;
        if (line.front() == '[') return ReadKeyLine(line);
        if (line.front() == '"' || line.front() == '@') return ReadValueLine(line);
        return Fail("unexpected text");
    }

    // The next physical line without its line break and outer blanks.
    bool NextLine(std::string_view* line) {
        std::string problem;
        if (lines_.Next(line, &problem)) {
            *line = TrimBlanks(*line);
            lastLineEmpty_ = line->empty();
            return true;
        }
        if (!problem.empty()) Fail(problem);
        return false;
    }

    bool Take(RegistryEdit&& edit) {
        std::string reason;
        if (take_(std::move(edit), &reason)) return true;
        return Fail(reason);
    }

    bool Fail(const std::string& what) {
        error_ = fileName_ + ":" + std::to_string(std::max(lines_.number(), 1)) + ": " + what;
        return false;
    }

    bool ReadHeader() {
        std::string_view line;
        if (!NextLine(&line)) {
            return Fail("empty file, no regedit header");
        }
        if (line != kVersion5Header && line != kRegedit4Header) {
            return Fail("not a regedit export (unknown header)");
        }
        return true;
    }

    bool ReadKeyLine(std::string_view line) {
        const size_t close = line.rfind(']');
        if (close == std::string_view::npos) return Fail("key line without ']'");
        if (close + 1 != line.size()) return Fail("text after the key name");
        std::string_view name = line.substr(1, close - 1);
        const bool deleting = !name.empty() && name.front() == '-';
        if (deleting) name.remove_prefix(1);

        const size_t slash = name.find('\\');
        const std::string rootName(name.substr(0, slash));
        const std::string_view path =
            slash == std::string_view::npos ? std::string_view() : name.substr(slash + 1);
        Root root = Root::LocalMachine;
        if (!RootFromName(rootName, &root)) return Fail("unknown root key '" + rootName + "'");
        std::vector<std::string_view> names;
        std::string problem;
        // Checked where the key really lies, so that a key below HKEY_CLASSES_ROOT is held
        // to the depth limit as the machine holding it will be.
        if (!SplitKeyPath(CanonicalKey(root, path).path, &names, &problem)) return Fail(problem);
        if (deleting && WithoutTrailingBackslash(path).empty()) {
            return Fail("a root key cannot be deleted");
        }

        RegistryEdit edit;
        edit.line = LineNumber();
        edit.kind = deleting ? RegistryEdit::Kind::DeleteKey : RegistryEdit::Kind::CreateKey;
        edit.root = root;
        edit.path = std::string(WithoutTrailingBackslash(path));
        haveKey_ = true;
        keyDeleted_ = deleting;
        keyRoot_ = root;
        keyPath_ = edit.path;
        return Take(std::move(edit));
    }

    bool ReadValueLine(std::string_view line) {
        if (!haveKey_) return Fail("value line before any key line");
        if (keyDeleted_) return Fail("value line under a key deletion line");
        RegistryEdit edit;
        edit.line = LineNumber();
        edit.root = keyRoot_;
        edit.path = keyPath_;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (!ReadQuoted(&line, &edit.valueName)) {
            return false;
        }
        if (edit.valueName.size() > kMaxValueNameLength) {
            return Fail("value name longer than 16383 characters");
        }
        if (edit.valueName.find('\0') != std::string::npos) return Fail("NUL in value name");
        line = TrimBlanks(line);
        if (line.empty() || line.front() != '=') return Fail("missing '=' after the value name");
        line = TrimBlanks(line.substr(1));
        if (line == "-") {
            edit.kind = RegistryEdit::Kind::DeleteValue;
        } else {
            edit.kind = RegistryEdit::Kind::SetValue;
            if (!ReadData(line, &edit)) return false;
        }
        return Take(std::move(edit));
    }

    // A quoted text with regedit's escapes; consumes it from `text`.
    bool ReadQuoted(std::string_view* text, std::string* out) {
        out->clear();
        size_t i = 1;
        while (i < text->size()) {
            const char c = (*text)[i++];
            if (c == '"') {
                text->remove_prefix(i);
                return true;
            }
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (i == text->size()) break;
            switch ((*text)[i++]) {
                case '\\':
                    out->push_back('\\');
                    break;
                case '"':
                    out->push_back('"');
                    break;
                case 'n':
                    out->push_back('\n');
                    break;
                case 'r':
                    out->push_back('\r');
                    break;
                case '0':
                    out->push_back('\0');
                    break;
                default:
                    return Fail("unknown escape in quoted text");
            }
        }
        return Fail("unterminated quote");
    }

    bool ReadData(std::string_view data, RegistryEdit* edit) {
        if (data.front() == '"') return ReadStringData(data, edit);
        if (data.substr(0, 6) == "dword:") return ReadDwordData(data.substr(6), edit);
        if (data.substr(0, 4) == "hex:") {
            edit->type = kRegBinary;
            return ReadHexData(data.substr(4), edit);
        }
        if (data.substr(0, 4) == "hex(") {
            const size_t close = data.find("):");
            if (close == std::string_view::npos ||
                !ParseHexNumber(data.substr(4, close - 4), &edit->type)) {
                return Fail("bad value type in hex(...)");
            }
            return ReadHexData(data.substr(close + 2), edit);
        }
        return Fail("unknown value data");
    }

    bool ReadStringData(std::string_view data, RegistryEdit* edit) {
        std::string text;
        if (!ReadQuoted(&data, &text)) return false;
        if (!TrimBlanks(data).empty()) return Fail("text after the closing quote");
        edit->type = kRegSz;
        edit->data.assign(text.begin(), text.end());
        edit->data.push_back(0);
        return true;
    }

    bool ReadDwordData(std::string_view digits, RegistryEdit* edit) {
        Dword value = 0;
        if (!ParseHexNumber(digits, &value)) return Fail("bad dword value");
        edit->type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8) {
            edit->data.push_back(static_cast<unsigned char>(value >> shift));
        }
        return true;
    }

    bool ReadHexData(std::string_view part, RegistryEdit* edit) {
        HexList list;
        std::string problem;
        while (true) {
            const bool continued = !part.empty() && part.back() == '\\';
            if (continued) part.remove_suffix(1);
            if (!list.Add(part, &problem)) return Fail(problem);
            if (!continued) break;
            if (!NextLine(&part)) return Fail("line continuation at the end of the file");
        }
        edit->data = list.TakeBytes();
        if (unicodeStrings_ && IsStringType(edit->type)) return NarrowStringData(edit);
        return true;
    }

    // In a UTF-16 file the hex bytes of string types are UTF-16LE, as the registry
    // holds them; in an ANSI file they are ANSI, as regedit reads them. Either way the
    // ANSI calls return them narrowed, with the terminators the file gave (regedit
    // adds one where it is missing; a file read here keeps exactly what it says).
    bool NarrowStringData(RegistryEdit* edit) {
        std::string narrow;
        const std::string_view units(reinterpret_cast<const char*>(edit->data.data()),
                                     edit->data.size());
        if (!Utf16LeToAnsi(units, &narrow)) return Fail("odd-length UTF-16 string data");
        edit->data.assign(narrow.begin(), narrow.end());
        return true;
    }

    const std::string& fileName_;
    LineSource& lines_;
    bool lastLineEmpty_ = false;
    std::string error_;
    bool unicodeStrings_;
    const EditSink& take_;
    bool haveKey_ = false;
    bool keyDeleted_ = false;
    Root keyRoot_ = Root::LocalMachine;
    std::string keyPath_;
};

int LineCount(std::string_view text) {
    int lines = 1;
    for (char c : text) lines += c == '\n';
    return lines;
}

}  // namespace

bool ReadRegistryExport(const std::string& fileName, const std::string& bytes,
                        std::vector<RegistryEdit>* edits, std::string* error) {
    std::string_view text(bytes);
    std::string narrowed;
    const bool unicodeFile = HasUtf16LeBom(text);
    if (unicodeFile) {
        const std::string_view units = text.substr(2);
        Utf16LeToAnsi(units.substr(0, units.size() - units.size() % 2), &narrowed);
        if (units.size() % 2 != 0) {
            *error = fileName + ":" + std::to_string(LineCount(narrowed)) +
                     ": odd number of bytes in UTF-16 text";
            return false;
        }
        text = narrowed;
    } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    // All or nothing: the edits join `edits` only when the whole file was read.
    std::vector<RegistryEdit> read;
    const EditSink take = [&](RegistryEdit&& edit, std::string*) {
        read.push_back(std::move(edit));
        return true;
    };
    StringLines lines(text);
    if (!ExportReader(fileName, lines, unicodeFile, take).Read(error)) return false;
    edits->insert(edits->end(), std::make_move_iterator(read.begin()),
                  std::make_move_iterator(read.end()));
    return true;
}

bool StreamRegistryExport(const std::string& fileName, std::istream& in, const EditSink& take,
                          std::string* error) {
    StreamLines lines(in);
    ExportReader reader(fileName, lines, lines.unicode(), take);
    if (!reader.Read(error)) return false;
    if (!reader.EndsWithEmptyLine()) {
        *error = fileName + ":" + std::to_string(reader.LineNumber()) +
                 ": the export stops before regedit's closing empty line: is it cut short?";
        return false;
    }
    return true;
}

}  // namespace cvp
