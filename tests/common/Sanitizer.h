#pragma once

// 1 in a build with AddressSanitizer or ThreadSanitizer, which map far more address space than a
// process under a small `ulimit -v` is left: tests that set such caps skip there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TRELWICK_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TRELWICK_UNDER_SANITIZER 1
#endif
#endif
#ifndef TRELWICK_UNDER_SANITIZER
#define TRELWICK_UNDER_SANITIZER 0
#endif
