// Symbol export for the iximage shared library.
//
// The library is built with hidden visibility: only names marked IXIMAGE_API are part of the
// binary interface. Put the macro on exported classes and free functions, never on templates
// that are only instantiated inline in callers.
#pragma once

#if defined(_WIN32)
#if defined(IXIMAGE_BUILDING)
#define IXIMAGE_API __declspec(dllexport)
#else
#define IXIMAGE_API __declspec(dllimport)
#endif
#else
#define IXIMAGE_API __attribute__((visibility("default")))
#endif
