/* A program built as MSVC builds it (clang for x86_64-pc-windows-msvc, linked by lld-link, no C
 * runtime), linked against the vendordep's HalvernDriver.lib and run under Wine by
 * check_vendordep.py: WPILib's Windows robot programs are MSVC-built and reach HalvernDriver.dll
 * through its plain C exports and this import library. The exit code has one bit a failed check.
 */
typedef int int32_t;

__declspec(dllimport) int c_getRawValue(unsigned char channel);
__declspec(dllimport) int32_t c_Serial_findDevicePath(int32_t port, char* buffer, int32_t capacity);
__declspec(dllimport) int32_t c_Ordex_create(int32_t deviceId, int32_t frequency);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

void start(void) {
  char path[64];
  unsigned code = 0;
  if (c_getRawValue(7) != 0) code |= 1;
  /* With too few ports the search falls back to "\\.\COM3". */
  if (c_Serial_findDevicePath(0, path, sizeof path) <= 0 || path[0] != '\\') code |= 2;
  if (c_Ordex_create(99, 15000) != 0) code |= 4;
  ExitProcess(code);
}
