/*
 * Export and linkage macros shared by every platform header.
 *
 * The platform library is built with hidden visibility; only declarations
 * marked PLATFORM_API are exported. Every platform header is usable from C.
 */
#ifndef PLATFORM_CORE_PLATFORMEXPORT_H
#define PLATFORM_CORE_PLATFORMEXPORT_H

#define PLATFORM_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define PLATFORM_BEGIN_DECLS extern "C" {
#define PLATFORM_END_DECLS }
#define PLATFORM_NOEXCEPT noexcept
#else
#define PLATFORM_BEGIN_DECLS
#define PLATFORM_END_DECLS
#define PLATFORM_NOEXCEPT
#endif

#endif
