// A Windows process that ends while the library's heartbeat thread runs must end promptly.
// Windows detaches the library from an ending process under the loader lock, after ending the
// process's other threads; waiting for the heartbeat thread there never returns.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace {

// Generous: the program ends within a fraction of a second.
constexpr DWORD kExitTimeoutMs = 30000;

std::string siblingPath(const char* fileName) {
  std::array<char, MAX_PATH> path{};
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::string own(path.data(), length);
  return own.substr(0, own.find_last_of("\\/") + 1) + fileName;
}

// Runs the program to its end; its exit code, or nothing if it did not end in time.
std::optional<DWORD> runToEnd(std::string commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process) == FALSE) {
    ADD_FAILURE() << "Cannot start " << commandLine << " (Win32 error " << GetLastError() << ")";
    return std::nullopt;
  }
  std::optional<DWORD> exitCode;
  if (WaitForSingleObject(process.hProcess, kExitTimeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    exitCode = code;
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

TEST(ProcessExit, EndsPromptlyWithAControllerAlive) {
  const std::string program = siblingPath(HALVERN_EXIT_PROGRAM);
  // At once (the heartbeat thread just started), and after some heartbeats were sent.
  for (const char* runFor : {"0", "1", "50", "250"}) {
    const auto exitCode = runToEnd("\"" + program + "\" " + runFor);
    ASSERT_TRUE(exitCode.has_value())
        << "still running " << kExitTimeoutMs << " ms after " << runFor << " ms of heartbeat";
    EXPECT_EQ(*exitCode, 0U) << runFor;
  }
}

}  // namespace
