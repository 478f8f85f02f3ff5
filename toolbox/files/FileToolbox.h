/*
 * File-system helpers of the toolbox library: catalog queries, item tests,
 * folder listing and walks, and the small string and capability helpers
 * they need.
 */
#ifndef TOOLBOX_FILES_FILETOOLBOX_H
#define TOOLBOX_FILES_FILETOOLBOX_H

#include "platform/core/MacTypes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* Copies a Pascal string: the length byte and that many bytes (1 to 256
 * bytes in all), front to back. dest must hold source[0] + 1 bytes. */
QL_EXPORT void CopyPascalString(ConstStr255Param source, StringPtr dest) QL_NOEXCEPT;

QL_END_DECLS

#endif
