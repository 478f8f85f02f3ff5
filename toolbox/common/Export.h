/*
 * Linkage of the toolbox library's public headers: every exported function,
 * global and table is declared with QL_EXPORT inside QL_BEGIN_DECLS, so that
 * C and C++ callers see plain C names.
 */
#ifndef TOOLBOX_COMMON_EXPORT_H
#define TOOLBOX_COMMON_EXPORT_H

#define QL_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
#define QL_BEGIN_DECLS extern "C" {
#define QL_END_DECLS }
#define QL_NOEXCEPT noexcept
#else
#define QL_BEGIN_DECLS
#define QL_END_DECLS
#define QL_NOEXCEPT
#endif

#endif
