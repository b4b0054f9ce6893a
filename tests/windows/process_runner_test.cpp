#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/process/child_pipe_win.h"
#include "platform/process/read_pipes_win.h"
#include "windows/helpers/handle_count.h"
#include "windows/helpers/process_children.h"
#include "windows/helpers/scratch_directory.h"

namespace ltf {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Arguments = std::vector<std::u16string>;

std::vector<std::string> Fields(const std::string& report) {
  std::vector<std::string> fields;
  for (std::size_t start = 0, end; (end = report.find('\0', start)) != std::string::npos;
       start = end + 1) {
    fields.push_back(report.substr(start, end - start));
  }
  return fields;
}

std::string ReadFileText(const std::u16string& path) {
  UniqueHandle file(CreateFileW(testing::Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  char text[256];
  DWORD read = 0;
  if (!file.Valid() || !ReadFile(file.Get(), text, sizeof(text), &read, nullptr)) {
    return "";
  }
  return std::string(text, read);
}

// A file a released child writes; waits up to 20 s for it.
std::string AwaitFile(const std::u16string& path) {
  for (int tries = 0; tries < 200; ++tries) {
    if (std::string text = ReadFileText(path); !text.empty()) {
      return text;
    }
    Sleep(100);
  }
  return "(no file)";
}

std::u16string DecimalUnits(std::uint32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::MakeScratchDirectory();
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { testing::RemoveTree(testing::Verbatim(root_)); }

  // A copy of this test program in the scratch directory.
  std::u16string Plant(const std::u16string& name) {
    const std::u16string path = root_ + u"\\" + name;
    EXPECT_TRUE(testing::CopyInto(self_, path)) << ToUtf8(path);
    return path;
  }
  ProcessCommand Child(Arguments mode) const {
    mode.insert(mode.begin(), u"--child");
    return {self_, std::move(mode)};
  }

  std::u16string self_ = ExecutablePath().value_or(u"");
  std::u16string root_;
};

TEST_F(RunnerTest, TheLauncherChildrenRunBesideItWithExactLines) {
  const std::u16string agent = Plant(u"agent.exe");
  for (const char16_t* stand_in : {u"tasklist.exe", u"taskkill.exe", u"cmd.exe"}) {
    Plant(stand_in);
  }
  const auto reports = Fields(testing::RunForReport({agent, {u"--child", u"launcher-children"}}));
  ASSERT_EQ(reports.size(), 9u);
  const std::string root = ToUtf8(root_);
  EXPECT_EQ(reports[0], root + "\\tasklist.exe");
  EXPECT_EQ(reports[1], "\"tasklist\" /FI \"IMAGENAME eq lanternfield.exe\" /NH");
  EXPECT_EQ(reports[1].size(), 50u);
  EXPECT_EQ(reports[3], root + "\\taskkill.exe");
  EXPECT_EQ(reports[4], "\"taskkill\" /F /IM lanternfield.exe");
  EXPECT_EQ(reports[6], root + "\\cmd.exe");
  EXPECT_EQ(reports[7], "\"cmd\" /C start https://lanternfield.example/update");
}

TEST_F(RunnerTest, APathIsQuotedWholeAndARelativeOneRunsFromTheCurrentDirectory) {
  const std::u16string companion = Plant(u"lanternfield.exe");
  auto report = Fields(testing::RunForReport({companion, {}}));
  ASSERT_EQ(report.size(), 3u);
  EXPECT_EQ(report[0], ToUtf8(companion));
  EXPECT_EQ(report[1], "\"" + ToUtf8(companion) + "\"");

  wchar_t previous[MAX_PATH + 1];
  GetCurrentDirectoryW(MAX_PATH + 1, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(testing::Wide(root_)));
  report = Fields(testing::RunForReport({u".\\lanternfield.exe", {}}));
  SetCurrentDirectoryW(previous);
  ASSERT_EQ(report.size(), 3u);
  EXPECT_EQ(report[0], ToUtf8(companion));
  EXPECT_EQ(report[1], "\".\\lanternfield.exe\"");
  EXPECT_EQ(report[2], ToUtf8(root_));
}

TEST_F(RunnerTest, BareNamesAreFoundBesideTheLauncherThenInTheSystemThenOnThePath) {
  const std::u16string agent = Plant(u"agent.exe");
  Plant(u"tasklist.exe");
  const std::u16string cwd = root_ + u"\\cwd", listed = root_ + u"\\semi;colon";
  ASSERT_TRUE(CreateDirectoryW(testing::Wide(cwd), nullptr));
  ASSERT_TRUE(CreateDirectoryW(testing::Wide(listed), nullptr));
  ASSERT_TRUE(testing::CopyInto(self_, cwd + u"\\only-here.exe"));
  ASSERT_TRUE(testing::CopyInto(self_, listed + u"\\listed.exe"));
  wchar_t system[MAX_PATH + 1];
  ASSERT_NE(GetSystemDirectoryW(system, MAX_PATH + 1), 0u);

  // The agent inherits this environment and current directory.
  wchar_t previous[MAX_PATH + 1];
  GetCurrentDirectoryW(MAX_PATH + 1, previous);
  const std::u16string search = root_ + u"\\missing;;\"" + listed + u"\";";
  ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", testing::Wide(search)));
  ASSERT_TRUE(SetCurrentDirectoryW(testing::Wide(cwd)));
  const std::pair<std::u16string, std::string> cases[] = {
      {u"tasklist", ToUtf8(root_) + "\\tasklist.exe"},
      {u"taskkill", ToUtf8(testing::Units(system)) + "\\taskkill.exe"},
      {u"only-here", "program not found"},
      {u"listed", ToUtf8(listed) + "\\listed.exe"},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(testing::RunForReport({agent, {u"--child", u"resolve", name}}), expected);
  }
  SetCurrentDirectoryW(previous);
}

TEST_F(RunnerTest, RandomArgumentListsArriveExactly) {
  // Units the quoting must get right, a non-ASCII one, lone surrogates and a valid pair.
  const char16_t pool[] = {u' ', u'\t', u'"', u'\\', u'a', u'Z', u'\u00e9', 0xD800, 0xDC00};
  std::mt19937 random(20261206);
  for (int list = 0; list < 60; ++list) {
    Arguments arguments(random() % 6);
    for (std::u16string& argument : arguments) {
      argument.resize(random() % 9);
      for (char16_t& unit : argument) {
        unit = random() % 5 == 0 ? static_cast<char16_t>(1 + random() % 0xFFFF)
                                 : pool[random() % std::size(pool)];
      }
    }
    ProcessCommand command = Child({u"raw-line"});
    command.arguments.insert(command.arguments.end(), arguments.begin(), arguments.end());
    const std::string raw = testing::RunForReport(command);
    const std::u16string line(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);

    Arguments expected = command.arguments;
    expected.insert(expected.begin(), self_);
    EXPECT_EQ(testing::WindowsSplit(line), expected) << ToUtf8(line);
    std::vector<std::string> expected_utf8;
    for (const std::u16string& argument : expected) {
      expected_utf8.push_back(ToUtf8(argument));
    }
    EXPECT_EQ(SplitCommandLine(line), expected_utf8) << ToUtf8(line);
  }
}

TEST_F(RunnerTest, BothStreamsArriveWholeWhenOneFillsFirst) {
  const auto run = RunToCompletion(Child({u"flood"}));
  ASSERT_TRUE(run.has_value());
  for (bool error_stream : {true, false}) {
    const auto& bytes = error_stream ? run->standard_error : run->standard_output;
    ASSERT_EQ(bytes.size(), testing::kFloodBytes) << error_stream;
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      wrong += static_cast<char>(bytes[i]) != testing::FloodByte(i, error_stream);
    }
    EXPECT_EQ(wrong, 0u) << error_stream;
  }
}

TEST_F(RunnerTest, TheExitStatusComesBackAsItIs) {
  for (std::uint32_t status : {0u, 3u, 0xC0000005u, 0xFFFFFFFFu}) {
    const auto run = RunToCompletion(Child({u"exit", std::u16string(DecimalUnits(status))}));
    ASSERT_TRUE(run.has_value()) << status;
    EXPECT_EQ(run->status, status);
    EXPECT_TRUE(run->standard_output.empty() && run->standard_error.empty()) << status;
  }
}

TEST_F(RunnerTest, AGrandchildHoldingTheOutputKeepsTheRunWaiting) {
  const auto started = Clock::now();
  const auto run = RunToCompletion(Child({u"grandchild"}));
  ASSERT_TRUE(run.has_value());
  EXPECT_GE(Clock::now() - started, 1200ms);
  EXPECT_EQ(std::string(run->standard_output.begin(), run->standard_output.end()),
            "child-done;grandchild-done;");
}

TEST_F(RunnerTest, AReleasedChildRunsOnWhileTheCallReturns) {
  const std::u16string marker = root_ + u"\\pid";
  const auto started = Clock::now();
  ASSERT_TRUE(StartAndRelease(Child({u"linger", marker})).has_value());
  EXPECT_LT(Clock::now() - started, 5s);
  const DWORD pid = std::strtoul(AwaitFile(marker).c_str(), nullptr, 10);
  UniqueHandle child(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  ASSERT_TRUE(child.Valid());
  EXPECT_EQ(WaitForSingleObject(child.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(child.Get(), 0);
  WaitForSingleObject(child.Get(), INFINITE);
}

// Our standard handles are swapped for the test and put back after it.
class StandardHandlesTest : public RunnerTest {
 protected:
  void TearDown() override {
    for (std::size_t i = 0; i < 3; ++i) {
      SetStdHandle(kIds[i], saved_[i]);
    }
    RunnerTest::TearDown();
  }
  static constexpr DWORD kIds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  HANDLE saved_[3] = {GetStdHandle(kIds[0]), GetStdHandle(kIds[1]), GetStdHandle(kIds[2])};
};

TEST_F(StandardHandlesTest, AReleasedChildGetsDuplicatesOfOursOrWindowsDefaults) {
  for (DWORD id : kIds) {
    SetStdHandle(id, nullptr);
  }
  ASSERT_TRUE(StartAndRelease(Child({u"handles", root_ + u"\\none"})).has_value());
  EXPECT_TRUE(AwaitFile(root_ + u"\\none").starts_with("0 "));

  // Our own ends are not inheritable: the child can only have them through duplicates.
  UniqueHandle reader, writer;
  ASSERT_TRUE(CreatePipe(reader.Receive(), writer.Receive(), nullptr, 0));
  SetStdHandle(STD_OUTPUT_HANDLE, writer.Get());
  SetStdHandle(STD_ERROR_HANDLE, writer.Get());
  ASSERT_TRUE(StartAndRelease(Child({u"handles", root_ + u"\\piped"})).has_value());
  EXPECT_EQ(AwaitFile(root_ + u"\\piped"), "256 none open open");
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(writer.Get(), &flags)) << "our own handle was closed";
  char hello[5] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(reader.Get(), hello, sizeof(hello), &read, nullptr));
  EXPECT_EQ(std::string(hello, read), "hello");
}

// A read that fails on one pipe must end the run, cancelling the read pending on the other.
std::expected<void, WindowsError> ReadWithAFailingPipe(UniqueHandle& silent_writer) {
  auto pipe = CreateChildPipe(true);
  if (!pipe) {
    return std::unexpected(pipe.error());
  }
  silent_writer = std::move(pipe->child_end);
  UniqueHandle write_only(CreateFileW(L"\\\\.\\NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
  std::vector<unsigned char> output, error;
  return ReadPipesToEnd(std::move(pipe->parent_end), output, std::move(write_only), error);
}

TEST_F(RunnerTest, AFailedReadEndsTheRunInsteadOfHanging) {
  UniqueHandle silent_writer;
  const auto read = ReadWithAFailingPipe(silent_writer);
  ASSERT_TRUE(silent_writer.Valid());
  EXPECT_FALSE(read.has_value());
}

// Zero when an operation did what it should; otherwise its error code (1 when it has none), or ~0
// when it worked where it should have failed.
template <typename Result>
std::uint32_t Fault(const Result& result, bool should_work) {
  if (result.has_value()) {
    return should_work ? 0 : ~0u;
  }
  return should_work ? std::max(result.error().code, 1u) : 0;
}

TEST_F(RunnerTest, NoHandleOutlivesAnOperation) {
  const std::u16string missing = root_ + u"\\missing.exe";
  const std::pair<const char*, std::function<std::uint32_t()>> operations[] = {
      {"run",
       [&] {
         return Fault(RunToCompletion(Child({u"exit", u"0"})), true);
       }},
      {"release",
       [&] {
         return Fault(StartAndRelease(Child({u"exit", u"0"})), true);
       }},
      {"unknown program",
       [&] {
         return Fault(RunToCompletion({u"ltf-no-such", {}}), false);
       }},
      {"bad argument",
       [&] {
         return Fault(StartAndRelease({self_, {std::u16string(1, u'\0')}}), false);
       }},
      {"missing file",
       [&] {
         return Fault(RunToCompletion({missing, {}}), false);
       }},
      {"failed read",
       [&] {
         UniqueHandle writer;
         return Fault(ReadWithAFailingPipe(writer), false);
       }},
  };
  for (const auto& [name, operation] : operations) {
    ASSERT_EQ(operation(), 0u) << name;  // warms up whatever Windows loads once
    const std::size_t before = testing::CountOwnHandles();
    ASSERT_GT(before, 0u);
    bool retried = false;
    for (int i = 0; i < 200; ++i) {
      std::uint32_t fault = operation();
      // Under load Wine's CreateProcessW now and then fails with ERROR_INTERNAL_ERROR when the
      // new process's start-up does not report back; one retry keeps that out of a test about
      // handles, and any other failure, or a second one, still fails it.
      if (fault == ERROR_INTERNAL_ERROR && !std::exchange(retried, true)) {
        std::printf("%s %d failed with %u; retried\n", name, i, static_cast<unsigned>(fault));
        fault = operation();
      }
      ASSERT_EQ(fault, 0u) << name << " " << i;
    }
    EXPECT_EQ(testing::CountOwnHandles(), before) << name;
  }
}

}  // namespace
}  // namespace ltf
