// Whether this test build runs under AddressSanitizer (GCC and clang say so
// differently).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ORVANEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANEL_ASAN 1
#endif
#endif
