// The Windows console terminal's clear, under wine in the cross build. ctest gives the tests a
// pipe, so the console-window case is skipped there; the wine script runs it in a console in
// tmux. Keys from a pipe, every byte value and the end of input, are the case files' (under
// wine in the same build).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "console/terminal.h"

namespace boardstat {
namespace {

// Every process this test process has started, from the accounting of a job object it joins.
DWORD processes_started() {
  static const HANDLE job = [] {
    const HANDLE handle = CreateJobObjectA(nullptr, nullptr);
    return AssignProcessToJobObject(handle, GetCurrentProcess()) ? handle : nullptr;
  }();
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
  EXPECT_TRUE(job != nullptr && QueryInformationJobObject(job, JobObjectBasicAccountingInformation,
                                                          &info, sizeof info, nullptr));
  return info.TotalProcesses;
}

TEST(Win32Terminal, ClearWithoutConsoleFlushesThenWritesTheClearSequence) {
  const auto terminal = open_console_terminal();
  ::testing::internal::CaptureStdout();
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    ::testing::internal::GetCapturedStdout();
    GTEST_SKIP() << "standard output is still the console";
  }
  const DWORD before = processes_started();
  std::cout << "last line of the old screen";  // still buffered
  terminal->clear_screen();
  const DWORD after = processes_started();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "last line of the old screen\033[H\033[2J\033[3J");
  EXPECT_EQ(after, before);
  ASSERT_EQ(std::system("exit 0"), 0);  // the count does see a child process
  EXPECT_GT(processes_started(), after);
}

TEST(Win32Terminal, ClearOnConsoleBlanksTheWholeBufferWithoutStartingAProcess) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(out, &info)) GTEST_SKIP() << "standard output is no console";
  const SHORT width = info.dwSize.X, height = info.dwSize.Y;
  const WORD attributes = info.wAttributes;
  DWORD done = 0;
  // Leftovers in the first cell, in the middle and in the last row of the buffer.
  for (const COORD at :
       {COORD{0, 0}, COORD{static_cast<SHORT>(width / 2), static_cast<SHORT>(height / 2)},
        COORD{0, static_cast<SHORT>(height - 1)}}) {
    ASSERT_TRUE(WriteConsoleOutputCharacterA(out, "stale", 5, at, &done));
  }
  const auto terminal = open_console_terminal();
  const DWORD before = processes_started();
  terminal->clear_screen();
  EXPECT_EQ(processes_started(), before);

  const DWORD cells = static_cast<DWORD>(width) * static_cast<DWORD>(height);
  std::string chars(cells, '?');
  std::vector<WORD> colours(cells, 0);
  ASSERT_TRUE(ReadConsoleOutputCharacterA(out, chars.data(), cells, COORD{0, 0}, &done));
  EXPECT_EQ(done, cells);
  EXPECT_EQ(chars.find_first_not_of(' '), std::string::npos);
  ASSERT_TRUE(ReadConsoleOutputAttribute(out, colours.data(), cells, COORD{0, 0}, &done));
  EXPECT_EQ(colours, std::vector<WORD>(cells, attributes));
  ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  EXPECT_EQ(info.dwCursorPosition.X + info.dwCursorPosition.Y + info.srWindow.Top, 0);
}

}  // namespace
}  // namespace boardstat
