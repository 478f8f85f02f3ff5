// International resources of the one Roman script: 'itl0' (as a handle)
// and the number-parts table of 'itl4', the Script Manager variables, and
// the Resource Manager's error for these resources.
#include <cstddef>
#include <cstring>

#include "platform/core/Internal.h"
#include "platform/intl/IntlInternal.h"
#include "platform/intl/International.h"
#include "platform/memory/Memory.h"

namespace {

bool gMissing = false;
OSErr gInjectedError = noErr;
Handle gItl0 = nullptr; // the loaded 'itl0', until ReleaseResource

// United States conventions.
constexpr Intl0Rec kUSItl0 = {
    '.', ',', ';', '$', 0, 0,
    0x90,        // currFmt: currency symbol leads, leading zero
    0,           // dateOrder: month, day, year
    0x40,        // shrtDateFmt: century shown
    '/',
    0xFF,        // timeCycle: 12-hour
    0,
    {'A', 'M', 0, 0},
    {'P', 'M', 0, 0},
    ':', 0, 0, 0, 0, 0, 0, 0, 0,
    0,           // metricSys: no
    1,           // version 1, region 0 (United States)
};

// The 'itl4' resource as this platform lays it out: a small header, then
// the number-parts table.
struct Itl4Image {
  SInt16 flags;
  OSType resourceType;
  SInt16 resourceID;
  SInt16 version;
  SInt16 reserved[3];
  NumberParts numberParts;
};

WideChar Sym(char a, char b = 0) {
  WideChar w;
  w.a[0] = a;
  w.a[1] = b;
  return w;
}

Itl4Image &Itl4() {
  static Itl4Image image = [] {
    Itl4Image im;
    std::memset(&im, 0, sizeof im);
    im.resourceType = QL_FOURCC('i', 't', 'l', '4');
    im.version = 1;
    NumberParts &p = im.numberParts;
    p.version = curNumberPartsVersion;
    p.data[tokLeftQuote - 1] = Sym('\'');
    p.data[tokRightQuote - 1] = Sym('\'');
    p.data[tokLeadPlacer - 1] = Sym('^');
    p.data[tokLeader - 1] = Sym(' ');
    p.data[tokNonLeader - 1] = Sym('#');
    p.data[tokZeroLead - 1] = Sym('0');
    p.data[tokPercent - 1] = Sym('%');
    p.data[tokPlusSign - 1] = Sym('+');
    p.data[tokMinusSign - 1] = Sym('-');
    p.data[tokThousands - 1] = Sym(',');
    p.data[tokSeparator - 1] = Sym(';');
    p.data[tokEscape - 1] = Sym('\\');
    p.data[tokDecPoint - 1] = Sym('.');
    p.data[tokEPlus - 1] = Sym('E', '+');
    p.data[tokEMinus - 1] = Sym('E', '-');
    p.pePlus.size = 2;
    p.pePlus.data[0] = Sym('E');
    p.pePlus.data[1] = Sym('+');
    p.peMinus.size = 2;
    p.peMinus.data[0] = Sym('E');
    p.peMinus.data[1] = Sym('-');
    p.peMinusPlus.size = 1;
    p.peMinusPlus.data[0] = Sym('E');
    return im;
  }();
  return image;
}

bool IsRoman(ScriptCode script) {
  return script == smRoman || script == smSystemScript || script == smCurrentScript;
}

} // namespace

using ql::platform::SetResError;

namespace ql::platform::intl {
const NumberParts &DefaultNumberParts() noexcept { return Itl4().numberParts; }
} // namespace ql::platform::intl

extern "C" {

Handle GetIntlResource(SInt16 theID) noexcept {
  if (gMissing || theID != 0) {
    SetResError(resNotFound);
    return nullptr;
  }
  if (gItl0 == nullptr) {
    Handle h = NewHandle(Size(sizeof kUSItl0));
    if (h == nullptr) {
      SetResError(memFullErr);
      return nullptr;
    }
    std::memcpy(*h, &kUSItl0, sizeof kUSItl0);
    gItl0 = h;
  }
  SetResError(gInjectedError);
  return gItl0;
}

void ReleaseResource(Handle theResource) noexcept {
  if (theResource == nullptr || theResource != gItl0) {
    SetResError(resNotFound);
    return;
  }
  DisposeHandle(gItl0);
  gItl0 = nullptr;
  SetResError(noErr);
}

SInt32 GetScriptManagerVariable(SInt16 selector) noexcept {
  switch (selector) {
  case smVersion: return 0x0710;
  case smEnabled: return 1;
  case smSysScript:
  case smLastScript:
  case smKeyScript: return smRoman;
  case smRegionCode: return 0;
  default: return 0;
  }
}

void GetIntlResourceTable(ScriptCode script, SInt16 tableCode, Ptr *itlPtr, SInt32 *offset,
                          SInt32 *length) noexcept {
  Ptr p = nullptr;
  SInt32 off = 0, len = 0;
  if (!gMissing && IsRoman(script) && tableCode == smNumberPartsTable) {
    p = reinterpret_cast<Ptr>(&Itl4());
    off = SInt32(offsetof(Itl4Image, numberParts));
    len = SInt32(sizeof(NumberParts));
  }
  if (itlPtr != nullptr) *itlPtr = p;
  if (offset != nullptr) *offset = off;
  if (length != nullptr) *length = len;
}

void PlatformSetIntlResourcesMissing(Boolean missing) noexcept { gMissing = missing != 0; }
void PlatformSetIntlResourceError(OSErr err) noexcept { gInjectedError = err; }

} // extern "C"
