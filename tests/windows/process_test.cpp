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

#include "launcher/stack_guard_win.h"
#include "platform/paths/paths.h"
#include "platform/process/pipes_win.h"
#include "platform/process/process.h"
#include "quoting_cases.h"
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

// Our own open handles. Wine's GetProcessHandleCount always answers 0, so there they are counted
// from the system's handle table, whose extended form carries whole process ids.
std::size_t CountOwnHandles() {
  if (DWORD count = 0; GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
    return count;
  }
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

// The child writes its command line to a file named relative to its current directory: the
// resolved program in quotes, then the arguments quoted as for any other start. Asked to wait,
// the start returns only once the child has written it.
TEST_F(WindowsTest, TheShellStartsInOurDirectoryPassesVerbAndArgumentsAndWaits) {
  wchar_t saved[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(Wide(root_)));
  const ChildRole child(L"late-line");
  // "open", not "runas": an elevated child gets the administrator's environment, without its
  // role. The end-to-end suite's stand-ins need none, and start with "runas" there.
  const auto started = StartThroughShell({self_, {u"line.txt", u"two words", u"/F"}},
                                         {.verb = u"open", .wait = true, .hidden = true});
  const auto missing = StartThroughShell({root_ + u"\\missing.exe", {}}, {});
  SetCurrentDirectoryW(saved);
  ASSERT_TRUE(started.has_value()) << started.error().code;
  std::ifstream written{std::filesystem::path(root_ + u"\\line.txt"), std::ios::binary};
  const std::string bytes(std::istreambuf_iterator<char>(written), {});
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2),
            u"\"" + self_ + u"\" line.txt \"two words\" /F show 0");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().code, ERROR_FILE_NOT_FOUND);
}

// Our own splitter shares our reading of the quoting rules; the system's two parsers, in a
// child, must read every argument of the quoting table back exactly too.
TEST_F(WindowsTest, TheSystemsParsersReadEveryQuotedArgumentBack) {
  std::vector<std::u16string> expected{self_};
  for (const auto& [argument, quoted] : kQuotingCases) {
    expected.emplace_back(argument);
  }
  const auto run = RunChild(L"arguments", {self_, {expected.begin() + 1, expected.end()}});
  ASSERT_TRUE(run.has_value());
  std::u16string_view lists(reinterpret_cast<const char16_t*>(run->standard_output.data()),
                            run->standard_output.size() / 2);
  for (const char* parser : {"CommandLineToArgvW", "__wargv"}) {
    const std::size_t colon = lists.find(u':');
    ASSERT_NE(colon, std::u16string_view::npos) << parser;
    std::vector<std::u16string> read(std::stoul(ToUtf8(lists.substr(0, colon))));
    lists.remove_prefix(colon + 1);
    for (std::u16string& element : read) {
      element = lists.substr(0, lists.find(u'\0'));
      lists.remove_prefix(std::min(lists.size(), element.size() + 1));
    }
    EXPECT_EQ(read, expected) << parser;
  }
}

// Whoever seeded it, the guard the stack protection checks is not the one the file holds; the
// constructor seeds only a guard that the loader left at the default.
TEST(ImageTest, TheStackGuardIsSeededBeforeOurCodeRuns) {
  EXPECT_NE(__stack_chk_guard, kDefaultStackGuard);
  std::uintptr_t left = kDefaultStackGuard, seeded = 0x1234;
  EXPECT_EQ(SeedStackGuard(left), StackGuardSeeder::Constructor);
  EXPECT_NE(left, kDefaultStackGuard);
  EXPECT_EQ(SeedStackGuard(seeded), StackGuardSeeder::Loader);
  EXPECT_EQ(seeded, 0x1234u);
  RecordProperty("stack guard seeded by", StackGuardSeededBy() == StackGuardSeeder::Loader
                                              ? "the loader"
                                              : "the program's first constructor");
}

// Control Flow Guard, which Wine does not enforce: a guarded call to an address that the image
// does not list as a function ends the process with a fail-fast, before the call.
TEST_F(WindowsTest, AGuardedCallToWhatIsNoFunctionEndsTheProcess) {
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
    GTEST_SKIP() << "Wine enforces no Control Flow Guard";
  }
  const auto run = RunChild(L"call-data", {self_, {}});
  ASSERT_TRUE(run.has_value());
  // Without the guard the call would reach data that may not run: an access violation.
  EXPECT_EQ(run->status, 0xC0000409u) << std::hex << run->status;
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
  // Each answers whether it did what it should: runs, releases and the waited start work. Windows'
  // shell keeps caches and thread-pool objects of its own, so a shell start may grow the count
  // by less than one handle per start; the runner's own operations may not grow it at all.
  const struct {
    const char* name;
    std::function<bool()> operation;
    bool shell = false;
  } operations[] = {
      {"run", [&] { return Retried([&] { return RunToCompletion(quick); }).has_value(); }},
      {"release", [&] { return Retried([&] { return StartAndRelease(quick); }).has_value(); }},
      {"unknown program", [&] { return !RunToCompletion(unknown); }},
      {"bad argument", [&] { return !StartAndRelease(bad_argument); }},
      {"missing file", [&] { return !RunToCompletion(missing); }},
      {"failed read", AFailedReadEndsTheRun},
      // Last, so that no shell worker still at work can disturb the exact counts.
      {"waited shell start", [&] { return StartThroughShell(quick, {.wait = true}).has_value(); },
       true},
      {"failed shell start", [&] { return !StartThroughShell(missing, {}); }, true},
  };
  const ChildRole child(L"exit");
  for (const auto& [name, operation, shell] : operations) {
    ASSERT_TRUE(operation()) << name;  // warms up whatever Windows loads once
    const std::size_t before = CountOwnHandles(), times = shell ? 25 : 10;
    ASSERT_GT(before, 0u);
    for (std::size_t i = 0; i < times; ++i) {
      ASSERT_TRUE(operation()) << name << " " << i;
    }
    if (shell) {
      EXPECT_LT(CountOwnHandles(), before + times) << name;
    } else {
      EXPECT_EQ(CountOwnHandles(), before) << name;
    }
  }
}

}  // namespace
}  // namespace ltf
