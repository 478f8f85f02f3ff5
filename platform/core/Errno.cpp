#include <cerrno>

#include "platform/core/Internal.h"

namespace ql::platform {

OSErr ErrnoToOSErr(int err) noexcept {
  switch (err) {
  case 0:
    return noErr;
  case ENOENT:
    return fnfErr;
  case ENOTDIR:
    return dirNFErr;
  case EACCES:
    return afpAccessDenied;
  case EPERM:
    return permErr;
  case EEXIST:
  case ENOTEMPTY:
    return dupFNErr;
  case ENOSPC:
  case EDQUOT:
    return dskFulErr;
  case EROFS:
    return wPrErr;
  case EBUSY:
  case ETXTBSY:
    return fBsyErr;
  case ENAMETOOLONG:
    return bdNamErr;
  case EMFILE:
  case ENFILE:
    return tmfoErr;
  case ENOMEM:
    return memFullErr;
  case EINVAL:
    return paramErr;
  case EXDEV:
    return badMovErr;
  case EISDIR:
    return notAFileErr;
  case ELOOP:
    return fnfErr;
  default:
    return ioErr;
  }
}

} // namespace ql::platform
