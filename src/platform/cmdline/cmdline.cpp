#include "platform/cmdline/cmdline.h"
#include "platform/text/text.h"

namespace ltf {

namespace {

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t';
}

class Splitter {
 public:
  explicit Splitter(std::u16string_view line) : line_(line.substr(0, line.find(u'\0'))) {}

  std::vector<std::string> Run() {
    ReadProgramName();
    SkipBlanks();
    ReadArguments();
    return std::move(arguments_);
  }

 private:
  bool AtEnd() const { return next_ == line_.size(); }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(line_[next_])) {
      ++next_;
    }
  }

  void Emit() {
    arguments_.push_back(ToUtf8(current_));
    current_.clear();
  }

  // Quotes only group here; a backslash is an ordinary unit, as in C:\dir\"name".
  void ReadProgramName() {
    bool quoted = false;
    while (!AtEnd()) {
      const char16_t unit = line_[next_++];
      if (unit == u'"') {
        quoted = !quoted;
      } else if (IsBlank(unit) && !quoted) {
        break;
      } else {
        current_ += unit;
      }
    }
    Emit();
  }

  void ReadArguments() {
    bool quoted = false;
    while (!AtEnd()) {
      const char16_t unit = line_[next_];
      if (IsBlank(unit) && !quoted) {
        Emit();
        SkipBlanks();
      } else if (unit == u'\\') {
        ReadBackslashes();
      } else if (unit == u'"') {
        ++next_;
        if (!quoted) {
          quoted = true;
        } else if (AtEnd()) {
          // A closing quote at the very end still delivers its argument, even "".
          Emit();
          return;
        } else if (line_[next_] == u'"') {
          current_ += u'"';
          ++next_;
        } else {
          quoted = false;
        }
      } else {
        current_ += unit;
        ++next_;
      }
    }
    if (!current_.empty() || quoted) {
      Emit();
    }
  }

  // Backslashes escape only when a double quote follows them: 2n give n and leave the quote
  // to act, 2n+1 give n and a literal quote.
  void ReadBackslashes() {
    std::size_t run = 0;
    while (!AtEnd() && line_[next_] == u'\\') {
      ++run;
      ++next_;
    }
    if (AtEnd() || line_[next_] != u'"') {
      current_.append(run, u'\\');
      return;
    }
    current_.append(run / 2, u'\\');
    if (run % 2 == 1) {
      current_ += u'"';
      ++next_;
    }
  }

  std::u16string_view line_;
  std::size_t next_ = 0;
  std::u16string current_;
  std::vector<std::string> arguments_;
};

}  // namespace

std::vector<std::string> SplitCommandLine(std::u16string_view line) {
  return Splitter(line).Run();
}

}  // namespace ltf
