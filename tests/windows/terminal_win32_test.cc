// The Windows console terminal. Built only for Windows; runs under wine in the cross build.
// The console-window case needs a real console on standard output: ctest gives the tests a
// pipe, so that case runs when the test binary is started in a console window (the wine
// end-to-end script does so inside tmux) and is skipped otherwise.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "console/terminal.h"

namespace boardstat {
namespace {

/// Counts every process this test process has started since the first call, through the
/// accounting of a job object that the test process joins (children join it too).
class ProcessCount {
 public:
  static DWORD total() {
    static const HANDLE job = [] {
      const HANDLE handle = CreateJobObjectA(nullptr, nullptr);
      if (handle != nullptr && !AssignProcessToJobObject(handle, GetCurrentProcess())) {
        CloseHandle(handle);
        return HANDLE{nullptr};
      }
      return handle;
    }();
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (job == nullptr || !QueryInformationJobObject(job, JobObjectBasicAccountingInformation,
                                                     &info, sizeof info, nullptr)) {
      ADD_FAILURE() << "no job accounting: " << GetLastError();
      return 0;
    }
    return info.TotalProcesses;
  }
};

// Puts a handle in place of one standard handle for the life of the guard.
class StdHandleSwap {
 public:
  StdHandleSwap(DWORD which, HANDLE replacement) : which_(which), saved_(GetStdHandle(which)) {
    SetStdHandle(which_, replacement);
  }
  ~StdHandleSwap() { SetStdHandle(which_, saved_); }

 private:
  DWORD which_;
  HANDLE saved_;
};

bool is_console_output(HANDLE handle) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  return GetConsoleScreenBufferInfo(handle, &info) != 0;
}

// Without this the no-process checks below could never fail.
TEST(Win32Terminal, ProcessCountSeesAChildProcess) {
  const DWORD before = ProcessCount::total();
  ASSERT_EQ(std::system("exit 0"), 0);
  EXPECT_GT(ProcessCount::total(), before);
}

TEST(Win32Terminal, PipedInputGivesEachByteAsAKeyThenEndsForGood) {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  // An arrow key as a Windows console reports it (0xE0, then 'H'), a NUL and a 0xFF byte.
  const std::string keys = std::string("l+\xE0H", 4) + std::string(1, '\0') + "\xFFq";
  DWORD written = 0;
  ASSERT_TRUE(
      WriteFile(write_end, keys.data(), static_cast<DWORD>(keys.size()), &written, nullptr));
  CloseHandle(write_end);
  {
    const StdHandleSwap swap(STD_INPUT_HANDLE, read_end);
    const auto terminal = open_console_terminal();
    std::vector<int> read;
    for (size_t i = 0; i < keys.size(); ++i) read.push_back(terminal->read_key());
    EXPECT_EQ(read, (std::vector<int>{'l', '+', 0xE0, 'H', 0, 0xFF, 'q'}));
    EXPECT_EQ(terminal->read_key(), kEndOfInput);
    EXPECT_EQ(terminal->read_key(), kEndOfInput);
  }
  CloseHandle(read_end);
}

TEST(Win32Terminal, MissingStandardInputIsTheEndOfInput) {
  const StdHandleSwap swap(STD_INPUT_HANDLE, nullptr);
  EXPECT_EQ(open_console_terminal()->read_key(), kEndOfInput);
}

TEST(Win32Terminal, ClearWithoutConsoleFlushesThenWritesTheClearSequence) {
  const auto terminal = open_console_terminal();
  ::testing::internal::CaptureStdout();
  if (is_console_output(GetStdHandle(STD_OUTPUT_HANDLE))) {
    ::testing::internal::GetCapturedStdout();
    GTEST_SKIP() << "standard output is still the console";
  }
  const DWORD before = ProcessCount::total();
  std::cout << "last line of the old screen";  // still buffered
  terminal->clear_screen();
  const DWORD after = ProcessCount::total();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "last line of the old screen\033[H\033[2J\033[3J");
  EXPECT_EQ(after, before);
}

TEST(Win32Terminal, ClearOnConsoleBlanksTheWholeBufferWithoutStartingAProcess) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(out, &info)) GTEST_SKIP() << "standard output is no console";
  const COORD size = info.dwSize;
  const WORD attributes = info.wAttributes;
  // Leftovers in the first cell, in the middle and in the last row of the buffer.
  DWORD written = 0;
  for (const COORD at :
       {COORD{0, 0}, COORD{static_cast<SHORT>(size.X / 2), static_cast<SHORT>(size.Y / 2)},
        COORD{0, static_cast<SHORT>(size.Y - 1)}}) {
    ASSERT_TRUE(WriteConsoleOutputCharacterA(out, "stale", 5, at, &written));
  }
  const auto terminal = open_console_terminal();
  const DWORD before = ProcessCount::total();
  terminal->clear_screen();
  EXPECT_EQ(ProcessCount::total(), before);

  const DWORD cells = static_cast<DWORD>(size.X) * static_cast<DWORD>(size.Y);
  std::string chars(cells, '?');
  std::vector<WORD> colours(cells, 0);
  DWORD read = 0;
  ASSERT_TRUE(ReadConsoleOutputCharacterA(out, chars.data(), cells, COORD{0, 0}, &read));
  EXPECT_EQ(read, cells);
  EXPECT_EQ(chars.find_first_not_of(' '), std::string::npos)
      << "not blank at cell " << chars.find_first_not_of(' ');
  ASSERT_TRUE(ReadConsoleOutputAttribute(out, colours.data(), cells, COORD{0, 0}, &read));
  EXPECT_EQ(colours, std::vector<WORD>(cells, attributes));
  ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  EXPECT_EQ(info.dwCursorPosition.X, 0);
  EXPECT_EQ(info.dwCursorPosition.Y, 0);
  EXPECT_EQ(info.srWindow.Top, 0);
}

}  // namespace
}  // namespace boardstat
