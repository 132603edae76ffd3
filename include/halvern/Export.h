// Marks HalvernDriver's public entry points; everything else stays inside the library.
#pragma once

#if defined(_WIN32)
#if defined(HALVERN_BUILDING_LIBRARY)
#define HALVERN_API __declspec(dllexport)
#elif defined(HALVERN_STATIC)  // linked into a test from the static twin
#define HALVERN_API
#else
#define HALVERN_API __declspec(dllimport)
#endif
#else
#define HALVERN_API __attribute__((visibility("default")))
#endif
