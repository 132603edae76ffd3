// Stand-in for WPILib's C string: a UTF-8 text and its length, as the C APIs pass text.
#pragma once

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): also a C header

#ifdef __cplusplus
#include <string_view>
#endif

/** A const UTF-8 string, not necessarily null-terminated. */
struct WPI_String {
  const char* str;
  size_t len;
};

#ifdef __cplusplus
namespace wpi {
/** The text of `str`; empty for a null pointer. */
constexpr std::string_view to_string_view(const struct WPI_String* str) {
  if (str) {
    return {str->str, str->len};
  } else {
    return "";
  }
}

/** A WPI_String over `view`'s characters, valid as long as they are. */
constexpr WPI_String make_string(std::string_view view) {
  return WPI_String{view.data(), view.size()};
}
}  // namespace wpi
#endif  // __cplusplus

#ifdef __cplusplus
extern "C" {
#endif  // __cplusplus

/** Points `wpiString` at a null-terminated string (null: empty), without copying. */
void WPI_InitString(struct WPI_String* wpiString, const char* utf8String);

/** Points `wpiString` at `length` characters (null or 0: empty), without copying. */
void WPI_InitStringWithLength(struct WPI_String* wpiString,
                              const char* utf8String, size_t length);

/** Allocates `length` characters for `wpiString`; free with WPI_FreeString(). */
char* WPI_AllocateString(struct WPI_String* wpiString, size_t length);

/** Frees a string from WPI_AllocateString(). */
void WPI_FreeString(const struct WPI_String* wpiString);

/** Allocates an array of `length` empty strings; free with WPI_FreeStringArray(). */
struct WPI_String* WPI_AllocateStringArray(size_t length);

/** Frees an array from WPI_AllocateStringArray() and the strings in it. */
void WPI_FreeStringArray(const struct WPI_String* wpiStringArray,
                         size_t length);

#ifdef __cplusplus
}  // extern "C"
#endif  // __cplusplus
