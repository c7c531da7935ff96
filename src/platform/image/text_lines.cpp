#include "platform/image/text_lines.h"

#include <algorithm>
#include <istream>

#include "platform/image/ansi_text.h"

namespace cvp {
namespace {

constexpr size_t kChunk = 1 << 16;
constexpr size_t kLongestLine = 16u << 20;

}  // namespace

bool StringLines::Read(std::string_view* line, std::string*) {
    if (atEnd_) return false;
    const size_t end = rest_.find('\n');
    if (end == std::string_view::npos) {
        *line = rest_;
        atEnd_ = true;
    } else {
        *line = rest_.substr(0, end);
        rest_.remove_prefix(end + 1);
        atEnd_ = rest_.empty();
    }
    return true;
}

StreamLines::StreamLines(std::istream& in) : in_(in) {
    Fill();
    if (HasUtf16LeBom(raw_)) {
        unicode_ = true;
        raw_.erase(0, 2);
    } else if (raw_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        raw_.erase(0, 3);
    } else {
        unicode_ = raw_.size() >= 2 && raw_[0] != '\0' &&
                   static_cast<unsigned char>(raw_[0]) < 0x80 && raw_[1] == '\0';
    }
}

void StreamLines::Fill() {
    char buffer[kChunk];
    in_.read(buffer, sizeof buffer);
    raw_.append(buffer, static_cast<size_t>(in_.gcount()));
}

// Moves what was read on into `text_`, reading more when it has run out.
bool StreamLines::Decode(std::string* problem) {
    if (raw_.size() < 2) Fill();
    if (raw_.empty()) {
        atEnd_ = true;
        return true;
    }
    if (!unicode_) {
        text_ += raw_;
        raw_.clear();
        return true;
    }
    const size_t whole = raw_.size() - raw_.size() % 2;
    if (whole == 0) {
        *problem = "odd number of bytes in UTF-16 text";
        return false;
    }
    std::string narrow;
    Utf16LeToAnsi(std::string_view(raw_).substr(0, whole), &narrow);
    text_ += narrow;
    raw_.erase(0, whole);
    return true;
}

bool StreamLines::Read(std::string_view* line, std::string* problem) {
    size_t end;
    while ((end = text_.find('\n', taken_)) == std::string::npos) {
        if (text_.size() - taken_ > kLongestLine) {
            *problem = "a line longer than 16 MiB";
            return false;
        }
        // What was handed out goes only now, so that a line costs no move of the rest.
        text_.erase(0, taken_);
        taken_ = 0;
        if (!Decode(problem)) return false;
        if (atEnd_) break;
    }
    if (end == std::string::npos) {
        if (taken_ == text_.size()) return false;
        end = text_.size();
    }
    *line = std::string_view(text_).substr(taken_, end - taken_);
    taken_ = std::min(end + 1, text_.size());
    return true;
}

}  // namespace cvp
