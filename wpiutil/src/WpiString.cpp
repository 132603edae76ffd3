#include <cstdlib>
#include <cstring>

#include "wpi/string.h"

extern "C" {

void WPI_InitString(struct WPI_String* wpiString, const char* utf8String) {
  WPI_InitStringWithLength(wpiString, utf8String, utf8String ? std::strlen(utf8String) : 0);
}

void WPI_InitStringWithLength(struct WPI_String* wpiString, const char* utf8String, size_t length) {
  if (utf8String == nullptr || length == 0) {
    *wpiString = WPI_String{nullptr, 0};
  } else {
    *wpiString = WPI_String{utf8String, length};
  }
}

// The C API's strings are freed with free(), as a C caller would free them.

char* WPI_AllocateString(struct WPI_String* wpiString, size_t length) {
  char* text = static_cast<char*>(std::malloc(length + 1));  // NOLINT: C-owned memory
  if (text != nullptr) {
    text[length] = '\0';
  }
  *wpiString = WPI_String{text, text != nullptr ? length : 0};
  return text;
}

void WPI_FreeString(const struct WPI_String* wpiString) {
  if (wpiString != nullptr) {
    std::free(const_cast<char*>(wpiString->str));  // NOLINT: C-owned memory
  }
}

struct WPI_String* WPI_AllocateStringArray(size_t length) {
  return static_cast<WPI_String*>(std::calloc(length, sizeof(WPI_String)));  // NOLINT
}

void WPI_FreeStringArray(const struct WPI_String* wpiStringArray, size_t length) {
  if (wpiStringArray == nullptr) {
    return;
  }
  for (size_t i = 0; i < length; ++i) {
    WPI_FreeString(&wpiStringArray[i]);
  }
  std::free(const_cast<WPI_String*>(wpiStringArray));  // NOLINT: C-owned memory
}

}  // extern "C"
