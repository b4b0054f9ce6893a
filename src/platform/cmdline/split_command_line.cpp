#include "platform/cmdline/split_command_line.h"

namespace ltf {

namespace {

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t';
}

void AppendCodePoint(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
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

std::string ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t code_point = units[i];
    if (code_point >= 0xD800 && code_point <= 0xDFFF) {
      const bool paired = code_point <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                          units[i + 1] <= 0xDFFF;
      if (paired) {
        code_point = 0x10000 + ((code_point - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
      } else {
        code_point = 0xFFFD;
      }
    }
    AppendCodePoint(out, code_point);
  }
  return out;
}

}  // namespace ltf
