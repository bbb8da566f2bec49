#ifndef RASTELLO_TESTS_SANITIZERS_H
#define RASTELLO_TESTS_SANITIZERS_H

// RASTELLO_SANITIZED is defined in builds under AddressSanitizer or
// ThreadSanitizer, where tests trim work that only proves bytes (the plain
// build proves them) and skip what does not mix with the sanitizers, such as
// address-space limits. GCC defines __SANITIZE_*; clang answers
// __has_feature instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RASTELLO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define RASTELLO_SANITIZED 1
#endif
#endif

#endif
