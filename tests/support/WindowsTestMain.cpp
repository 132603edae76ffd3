// The main function of every test program on Windows. A crash (an access violation, say) would
// otherwise end the program in whatever way the host chooses, which under Wine can be exit code
// 0: the filter turns every unhandled structured exception into a failing exit code instead.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

namespace {

// The exit code of a test program that crashed.
constexpr UINT kCrashExitCode = 77;

LONG WINAPI terminateOnCrash(EXCEPTION_POINTERS* exception) {
  std::fprintf(stderr, "Unhandled exception 0x%08lx: test program terminated\n",
               exception != nullptr && exception->ExceptionRecord != nullptr
                   ? static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode)
                   : 0UL);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), kCrashExitCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(terminateOnCrash);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
