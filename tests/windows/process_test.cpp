#include <gtest/gtest.h>
#include <winternl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths/paths.h"
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

// A file a released child writes; waits up to 20 s for it.
std::string AwaitFile(const std::u16string& path) {
  for (int tries = 0; tries < 200; ++tries, Sleep(100)) {
    std::ifstream file{std::filesystem::path(path)};
    if (std::string text(std::istreambuf_iterator<char>(file), {}); !text.empty()) {
      return text;
    }
  }
  return "(no file)";
}

// Our own open handles, counted from the system's handle table: GetProcessHandleCount under
// Wine always answers 0. The extended table carries whole process ids; the older one only their
// low 16 bits.
std::size_t CountOwnHandles() {
  struct Entry {
    PVOID object;
    ULONG_PTR process_id;
    ULONG_PTR value;
    ULONG granted_access;
    USHORT creator_back_trace_index, object_type_index;
    ULONG attributes, reserved;
  };
  const auto kSystemExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
  constexpr auto kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
  std::vector<unsigned char> buffer(1 << 16);
  NTSTATUS status;
  ULONG needed = 0;
  while ((status = NtQuerySystemInformation(kSystemExtendedHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &needed)) ==
         kInfoLengthMismatch) {
    buffer.resize(std::max<std::size_t>(needed + 4096, buffer.size() * 2));
  }
  // The count, a reserved word, then the entries.
  const ULONG_PTR count = status < 0 ? 0 : *reinterpret_cast<const ULONG_PTR*>(buffer.data());
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + 2 * sizeof(ULONG_PTR));
  return std::count_if(entries, entries + count, [](const Entry& entry) {
    return entry.process_id == GetCurrentProcessId();
  });
}

// A value that is no handle of ours: what a parent leaves us when it names handles in its
// start-up information but does not let us inherit them.
HANDLE UnusableHandle() {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): a made-up value, never dereferenced
  return reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFFFFF0});
}

class WindowsTest : public ::testing::Test {
 protected:
  // A fresh directory for the files the released children write, removed with them.
  void SetUp() override { std::filesystem::create_directory(root_); }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  const std::u16string root_ = (std::filesystem::temp_directory_path() /
                                ("ltf-runner-" + std::to_string(GetCurrentProcessId())))
                                   .u16string();
  const std::u16string self_ = ThisProgram();
};

TEST_F(WindowsTest, BothStreamsArriveWholeWhenOneFillsAndEndsFirst) {
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

TEST_F(WindowsTest, TheExitStatusComesBackAsItIs) {
  for (const std::uint32_t status : {0u, 3u, 0xC0000005u, 0xFFFFFFFFu}) {
    const std::string digits = std::to_string(status);
    const auto run = RunChild(L"exit", {self_, {std::u16string(digits.begin(), digits.end())}});
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->status, status);
    EXPECT_TRUE(run->standard_output.empty() && run->standard_error.empty());
  }
}

TEST_F(WindowsTest, AGrandchildHoldingTheOutputKeepsTheRunWaiting) {
  const auto started = Clock::now();
  const auto run = RunChild(L"grandchild", {self_, {}});
  EXPECT_GE(Clock::now() - started, 1200ms);
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(std::string(run->standard_output.begin(), run->standard_output.end()),
            "child-done;grandchild-done;");
}

// Past 247 units a path reaches Windows only in its \\?\ form, which makes and removes it here.
TEST_F(WindowsTest, PathExistsReachesLongPathsAndNeverATruncatedOne) {
  const std::u16string deep = root_ + u"\\" + std::u16string(250, u'd');
  CreateDirectoryW(Wide(u"\\\\?\\" + deep), nullptr);
  EXPECT_TRUE(PathExists(deep));
  EXPECT_FALSE(PathExists(deep + u"\\missing"));
  // Windows would stop reading at a 0 unit and find the directory before it.
  EXPECT_FALSE(PathExists(deep + u'\0' + u"x"));
  RemoveDirectoryW(Wide(u"\\\\?\\" + deep));
}

// Our standard handles are swapped for the test and put back after it.
TEST_F(WindowsTest, AReleasedChildGetsDuplicatesOfOurStandardHandlesOrNone) {
  constexpr DWORD kIds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  const HANDLE saved[] = {GetStdHandle(kIds[0]), GetStdHandle(kIds[1]), GetStdHandle(kIds[2])};
  // Our own ends are not inheritable: the child can only have them through duplicates.
  UniqueHandle reader, writer;
  ASSERT_TRUE(CreatePipe(reader.Receive(), writer.Receive(), nullptr, 0));
  const HANDLE unusable = UnusableHandle();
  DWORD flags = 0;
  ASSERT_FALSE(GetHandleInformation(unusable, &flags));
  const struct {
    HANDLE input, output;
    const char16_t* file;
    std::string expected;  // the child's start-up flags and what it found usable
  } rounds[] = {
      // Nothing to pass on: Windows gives the child its defaults, whatever they are here.
      {nullptr, nullptr, u"\\none", "0 "},
      {reader.Get(), writer.Get(), u"\\piped", "256 open open open"},
      {unusable, writer.Get(), u"\\unusable", "256 none open open"},
  };
  const ChildRole child(L"handles");
  for (const auto& round : rounds) {
    SetStdHandle(kIds[0], round.input);
    SetStdHandle(kIds[1], round.output);
    SetStdHandle(kIds[2], round.output);
    const auto released = Retried([&] { return StartAndRelease({self_, {root_ + round.file}}); });
    for (std::size_t i = 0; i < 3; ++i) {
      SetStdHandle(kIds[i], saved[i]);
    }
    ASSERT_TRUE(released.has_value()) << round.expected;
    EXPECT_TRUE(AwaitFile(root_ + round.file).starts_with(round.expected)) << round.expected;
    if (round.output != nullptr) {
      char hello[5] = {};
      DWORD read = 0;
      EXPECT_TRUE(ReadFile(reader.Get(), hello, sizeof(hello), &read, nullptr));
      EXPECT_EQ(std::string(hello, read), "hello");
    }
  }
  EXPECT_TRUE(GetHandleInformation(writer.Get(), &flags)) << "our own handle was closed";
}

// No verb and no arguments, so the child writes its file in our current directory.
TEST_F(WindowsTest, TheShellStartsAProgramInOurCurrentDirectory) {
  wchar_t saved[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(Wide(root_)));
  const ChildRole child(L"handles");
  // The first start also loads what the shell needs, once; the second may keep nothing open.
  const auto started = StartThroughShell({self_, {}}, {});
  const std::size_t handles = CountOwnHandles();
  const auto again = StartThroughShell({self_, {}}, {});
  EXPECT_EQ(CountOwnHandles(), handles);
  const auto missing = StartThroughShell({root_ + u"\\missing.exe", {}}, {});
  SetCurrentDirectoryW(saved);
  ASSERT_TRUE(started.has_value() && again.has_value());
  EXPECT_NE(AwaitFile(root_ + u"\\handles.txt"), "(no file)");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().code, ERROR_FILE_NOT_FOUND);
}

// Asked to wait, the shell start returns only once the child has written its command line: the
// resolved program in quotes, then the arguments quoted as for any other start.
TEST_F(WindowsTest, AWaitedShellStartPassesTheVerbAndTheArgumentsOn) {
  const std::u16string file = root_ + u"\\line.txt";
  const ChildRole child(L"late-line");
  const auto start = [&] {
    return StartThroughShell({self_, {file, u"two words", u"/F"}},
                             {.verb = u"runas", .wait = true});
  };
  ASSERT_TRUE(start().has_value());
  // The first start with a verb loads what the shell keeps for it.
  std::filesystem::remove(std::filesystem::path(file));
  const std::size_t handles = CountOwnHandles();
  const auto started = start();
  ASSERT_TRUE(started.has_value()) << started.error().code;
  EXPECT_EQ(CountOwnHandles(), handles) << "the child's process handle was kept";
  std::ifstream written{std::filesystem::path(file), std::ios::binary};
  const std::string bytes(std::istreambuf_iterator<char>(written), {});
  const std::u16string expected = u"\"" + self_ + u"\" " + file + u" \"two words\" /F";
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2),
            expected);
}

// The owner closes what it held when it receives another handle and when it goes, and a close
// leaves the last error as it was.
TEST(UniqueHandleTest, ClosesWhatItHeldAndKeepsTheLastError) {
  const HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr),
               second = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD flags = 0;
  {
    const UniqueHandle unusable(UnusableHandle());  // closed last, and its close fails
    UniqueHandle owner(first);
    *owner.Receive() = second;
    EXPECT_FALSE(GetHandleInformation(first, &flags));
    SetLastError(ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_FALSE(GetHandleInformation(second, &flags));
  // Both of the values Windows' calls return on failure hold nothing.
  EXPECT_FALSE(UniqueHandle().Valid() || UniqueHandle(INVALID_HANDLE_VALUE).Valid());
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

TEST_F(WindowsTest, NoHandleOutlivesAnOperation) {
  const ProcessCommand quick{self_, {u"0"}}, unknown{u"ltf-no-such", {}},
      bad_argument{self_, {std::u16string(1, u'\0')}}, missing{root_ + u"\\missing.exe", {}};
  // Each answers whether it did what it should: the first two work, the others fail.
  const std::pair<const char*, std::function<bool()>> operations[] = {
      {"run", [&] { return Retried([&] { return RunToCompletion(quick); }).has_value(); }},
      {"release", [&] { return Retried([&] { return StartAndRelease(quick); }).has_value(); }},
      {"failed shell start", [&] { return !StartThroughShell(missing, {}); }},
      {"unknown program", [&] { return !RunToCompletion(unknown); }},
      {"bad argument", [&] { return !StartAndRelease(bad_argument); }},
      {"missing file", [&] { return !RunToCompletion(missing); }},
      {"failed read", AFailedReadEndsTheRun},
  };
  const ChildRole child(L"exit");
  for (const auto& [name, operation] : operations) {
    ASSERT_TRUE(operation()) << name;  // warms up whatever Windows loads once
    const std::size_t before = CountOwnHandles();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 25; ++i) {
      ASSERT_TRUE(operation()) << name << " " << i;
    }
    EXPECT_EQ(CountOwnHandles(), before) << name;
  }
}

}  // namespace
}  // namespace ltf
