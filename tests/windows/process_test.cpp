#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/process/pipes_win.h"
#include "platform/process/process.h"
#include "support.h"

namespace ltf {
namespace {

using namespace std::chrono_literals;
using namespace ltf::testing;
using Clock = std::chrono::steady_clock;

// Under load Wine's CreateProcessW now and then fails with ERROR_INTERNAL_ERROR when the new
// process's start-up does not report back; one retry keeps that out of these tests.
template <class Operation>
auto Retried(Operation operation) {
  auto result = operation();
  if (!result && result.error().code == ERROR_INTERNAL_ERROR) {
    std::printf("a child failed to start with ERROR_INTERNAL_ERROR; retried\n");
    result = operation();
  }
  return result;
}

std::expected<ProcessOutput, ProcessError> RunChild(const wchar_t* role,
                                                    const ProcessCommand& command) {
  const ChildRole child(role);
  return Retried([&] { return RunToCompletion(command); });
}

// Standard output of a run, or why it failed.
std::string Output(const wchar_t* role, const ProcessCommand& command) {
  const auto run = RunChild(role, command);
  return run ? std::string(run->standard_output.begin(), run->standard_output.end())
             : "(failed " + std::to_string(run.error().code) + ")";
}

// A file a released child writes; waits up to 20 s for it.
std::string AwaitFile(const std::u16string& path) {
  for (int tries = 0; tries < 200; ++tries, Sleep(100)) {
    const UniqueHandle file(
        CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char text[256];
    DWORD read = 0;
    if (file.Valid() && ReadFile(file.Get(), text, sizeof(text), &read, nullptr) && read > 0) {
      return std::string(text, read);
    }
  }
  return "(no file)";
}

class RunnerTest : public ::testing::Test {
 protected:
  ScratchDirectory scratch_;
  const std::u16string root_ = scratch_.Path();
  const std::u16string self_ = ThisProgram();
};

TEST_F(RunnerTest, BothStreamsArriveWholeWhenOneFillsAndEndsFirst) {
  const auto run = RunChild(L"flood", {self_, {}});
  ASSERT_TRUE(run.has_value());
  for (const bool error_stream : {true, false}) {
    const auto& bytes = error_stream ? run->standard_error : run->standard_output;
    ASSERT_EQ(bytes.size(), kFloodBytes) << error_stream;
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      wrong += static_cast<char>(bytes[i]) != FloodByte(i, error_stream);
    }
    EXPECT_EQ(wrong, 0u) << error_stream;
  }
}

TEST_F(RunnerTest, TheExitStatusComesBackAsItIs) {
  for (const std::uint32_t status : {0u, 3u, 0xC0000005u, 0xFFFFFFFFu}) {
    const std::string digits = std::to_string(status);
    const auto run = RunChild(L"exit", {self_, {std::u16string(digits.begin(), digits.end())}});
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->status, status);
    EXPECT_TRUE(run->standard_output.empty() && run->standard_error.empty());
  }
}

TEST_F(RunnerTest, AGrandchildHoldingTheOutputKeepsTheRunWaiting) {
  const auto started = Clock::now();
  EXPECT_EQ(Output(L"grandchild", {self_, {}}), "child-done;grandchild-done;");
  EXPECT_GE(Clock::now() - started, 1200ms);
}

TEST_F(RunnerTest, AReleasedChildRunsOnWhileTheCallReturns) {
  const std::u16string marker = root_ + u"\\pid";
  const auto started = Clock::now();
  {
    const ChildRole child(L"linger");
    ASSERT_TRUE(Retried([&] { return StartAndRelease({self_, {marker}}); }).has_value());
  }
  EXPECT_LT(Clock::now() - started, 5s);
  const DWORD pid = std::stoul("0" + AwaitFile(marker));
  const UniqueHandle child(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  ASSERT_TRUE(child.Valid());
  EXPECT_EQ(WaitForSingleObject(child.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(child.Get(), 0);
  WaitForSingleObject(child.Get(), INFINITE);
}

// Our standard handles are swapped for the test and put back after it.
TEST_F(RunnerTest, AReleasedChildGetsDuplicatesOfOurStandardHandlesOrWindowsDefaults) {
  constexpr DWORD kIds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  const HANDLE saved[] = {GetStdHandle(kIds[0]), GetStdHandle(kIds[1]), GetStdHandle(kIds[2])};
  const ChildRole child(L"handles");
  for (const DWORD id : kIds) {
    SetStdHandle(id, nullptr);
  }
  ASSERT_TRUE(Retried([&] { return StartAndRelease({self_, {root_ + u"\\none"}}); }));
  EXPECT_TRUE(AwaitFile(root_ + u"\\none").starts_with("0 "));

  // Our own ends are not inheritable: the child can only have them through duplicates.
  UniqueHandle reader, writer;
  ASSERT_TRUE(CreatePipe(reader.Receive(), writer.Receive(), nullptr, 0));
  SetStdHandle(STD_OUTPUT_HANDLE, writer.Get());
  SetStdHandle(STD_ERROR_HANDLE, writer.Get());
  const auto released = Retried([&] { return StartAndRelease({self_, {root_ + u"\\piped"}}); });
  for (std::size_t i = 0; i < 3; ++i) {
    SetStdHandle(kIds[i], saved[i]);
  }
  ASSERT_TRUE(released.has_value());
  EXPECT_EQ(AwaitFile(root_ + u"\\piped"), "256 none open open");
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(writer.Get(), &flags)) << "our own handle was closed";
  char hello[5] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(reader.Get(), hello, sizeof(hello), &read, nullptr));
  EXPECT_EQ(std::string(hello, read), "hello");
}

// A read that fails on one pipe must end the run, cancelling the read pending on the other
// (whose writer stays open, so without the cancel this never returns).
bool AFailedReadEndsTheRun() {
  auto pipe = CreateChildPipe(true);
  UniqueHandle write_only(CreateFileW(L"\\\\.\\NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
  std::vector<unsigned char> output, error;
  return pipe && write_only.Valid() &&
         !ReadPipesToEnd(std::move(pipe->parent_end), output, std::move(write_only), error);
}

// Zero when an operation did what it should; otherwise its error code (1 when it has none).
template <class Result>
std::uint32_t Fault(const Result& result, bool should_work) {
  if (result.has_value() == should_work) {
    return 0;
  }
  return result.has_value() ? 1 : std::max(result.error().code, 1u);
}

TEST_F(RunnerTest, NoHandleOutlivesAnOperation) {
  const ProcessCommand quick{self_, {u"0"}};
  const std::pair<const char*, std::function<std::uint32_t()>> operations[] = {
      {"run", [&] { return Fault(Retried([&] { return RunToCompletion(quick); }), true); }},
      {"release", [&] { return Fault(Retried([&] { return StartAndRelease(quick); }), true); }},
      {"unknown program",
       [] {
         return Fault(RunToCompletion({u"ltf-no-such", {}}), false);
       }},
      {"bad argument",
       [&] {
         return Fault(StartAndRelease({self_, {std::u16string(1, u'\0')}}), false);
       }},
      {"missing file",
       [&] {
         return Fault(RunToCompletion({root_ + u"\\missing.exe", {}}), false);
       }},
      {"failed read", [] { return AFailedReadEndsTheRun() ? 0u : 1u; }},
  };
  const ChildRole child(L"exit");
  for (const auto& [name, operation] : operations) {
    ASSERT_EQ(operation(), 0u) << name;  // warms up whatever Windows loads once
    const std::size_t before = CountOwnHandles();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 25; ++i) {
      ASSERT_EQ(operation(), 0u) << name << " " << i;
    }
    EXPECT_EQ(CountOwnHandles(), before) << name;
  }
}

}  // namespace
}  // namespace ltf
