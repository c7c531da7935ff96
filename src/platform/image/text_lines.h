// Lines of text as the ANSI calls read them, from a text held whole or from a stream
// read a part at a time (UTF-16LE narrowed as it comes), for readers of files of any size.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace cvp {

class LineSource {
  public:
    virtual ~LineSource() = default;
    // The next physical line without its "\n" (a "\r" before it stays); false at the end,
    // or on a fault with `problem` set.
    bool Next(std::string_view* line, std::string* problem) {
        const bool read = Read(line, problem);
        if (read || !problem->empty()) ++number_;
        return read;
    }
    // The number of the line read last, or of the one that could not be read.
    int number() const { return number_; }

  protected:
    virtual bool Read(std::string_view* line, std::string* problem) = 0;

  private:
    int number_ = 0;
};

class StringLines final : public LineSource {
  public:
    explicit StringLines(std::string_view text) : rest_(text), atEnd_(text.empty()) {}

  protected:
    bool Read(std::string_view* line, std::string* problem) override;

  private:
    std::string_view rest_;
    bool atEnd_;
};

// UTF-16LE with its BOM, or without one when the text begins with an ASCII character
// (as `cmd /u` writes), is narrowed as Utf16LeToAnsi does; UTF-8 loses its BOM; anything
// else is taken as ANSI. Only the line being read is held: a line over 16 MiB is refused.
class StreamLines final : public LineSource {
  public:
    explicit StreamLines(std::istream& in);
    bool unicode() const { return unicode_; }

  protected:
    bool Read(std::string_view* line, std::string* problem) override;

  private:
    void Fill();
    bool Decode(std::string* problem);

    std::istream& in_;
    std::string raw_;   // bytes read, not yet decoded
    std::string text_;  // decoded text not yet handed out, from `taken_` on
    size_t taken_ = 0;  // the part of `text_` handed out
    bool unicode_ = false;
    bool atEnd_ = false;
};

}  // namespace cvp
