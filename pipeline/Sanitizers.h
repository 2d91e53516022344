// Whether this translation unit is built under a sanitizer. GCC says so
// with its own macros; clang, which builds the sanitizer and fuzzer trees,
// only through __has_feature.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define CDX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CDX_UNDER_ASAN 1
#endif
#endif

#if defined(__SANITIZE_THREAD__)
#define CDX_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CDX_UNDER_TSAN 1
#endif
#endif
