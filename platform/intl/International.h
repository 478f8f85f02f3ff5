/*
 * International resources and number formatting: the 'itl0' number and
 * date conventions, the Script Manager variables, the number-parts table,
 * format strings compiled into records, the conversions between text and
 * the 80-bit extended type, and the extended <-> double conversions.
 *
 *     NumberParts parts; NumFormatString fmt; Str255 out;
 *     Ptr itl; SInt32 offset, length;
 *     GetIntlResourceTable(smSystemScript, smNumberPartsTable, &itl, &offset, &length);
 *     memcpy(&parts, itl + offset, sizeof parts);
 *     StringToFormatRec("\p###,##0.00", &parts, &fmt);       // fFormatOK
 *     extended80 x; double d = 1234.5; dtox80(&d, &x);
 *     ExtendedToString(&x, &fmt, &parts, out);                 // "1,234.50"
 *
 * This platform has one script, Roman (0), with United States conventions:
 * '.' decimal point, ',' thousands separator. Nothing here depends on the
 * process locale. The Resource Manager calls ResError and ReleaseResource
 * answer for the resources handed out here.
 *
 * Format strings (Pascal strings) hold up to three parts separated by ';':
 * positive;negative;zero. A value below zero uses the negative part when
 * there is one and is then shown as its magnitude (the part's own literals
 * say it is negative); with no negative part a minus sign goes first unless
 * the part holds a sign symbol. Zero uses the zero part when there is one.
 * Within a part (symbols as in the default number-parts table):
 *   0   a digit, shown as '0' when not significant
 *   #   a digit, shown only when significant
 *   ^   a digit, shown as a space (the leader) when not significant
 *   .   the decimal point (at most one per part); it is shown only when a
 *       fraction digit follows it
 *   ,   among the integer digits: group them by three with the separator
 *   E+ E-  exponent: the digit symbols after it give its minimum width; E+
 *       always shows the exponent's sign, E- only a minus
 *   %   the value is shown multiplied by 100, with a '%'
 *   + - the value's sign (+ shows '+' or '-', - shows '-' for negatives)
 *   'text'  a literal (the quotes are the left and right quote symbols)
 *   \c  the escape symbol: c is a literal
 *   space and other ASCII punctuation that is no symbol stand for
 *   themselves ("(##0.00)"); letters, other digits and bytes outside ASCII
 *   must be quoted: unquoted they give fSpuriousChars.
 * Integer digits beyond the integer positions are all shown (the leftmost
 * position takes them); fraction digits are rounded to the positions (to
 * nearest, ties to even on the exact binary value). An empty format string
 * compiles to the free format: the shortest text that reads back as the
 * same double, without exponent for magnitudes from 1e-6 up to 1e21.
 * Infinities print as "INF" (signed) and NaNs as "NAN".
 */
#ifndef PLATFORM_INTL_INTERNATIONAL_H
#define PLATFORM_INTL_INTERNATIONAL_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"
#include "platform/resources/Resources.h"

PLATFORM_BEGIN_DECLS

/* ---- 'itl0': number, currency, date and time conventions ---------------- */

typedef struct Intl0Rec {
  char decimalPt;   /* byte 0 */
  char thousSep;    /* byte 1 */
  char listSep;
  char currSym1;
  char currSym2;
  char currSym3;
  UInt8 currFmt;
  UInt8 dateOrder;
  UInt8 shrtDateFmt;
  char dateSep;
  UInt8 timeCycle;
  UInt8 timeFmt;
  char mornStr[4];
  char eveStr[4];
  char timeSep;
  char time1Suff;
  char time2Suff;
  char time3Suff;
  char time4Suff;
  char time5Suff;
  char time6Suff;
  char time7Suff;
  char time8Suff;
  UInt8 metricSys;
  SInt16 intl0Vers; /* native order */
} Intl0Rec;
typedef Intl0Rec *Intl0Ptr;
typedef Intl0Ptr *Intl0Hndl;

/* The international resource of the system script with the given ID (0
 * for 'itl0'). The handle is the resource's: it stays valid until
 * ReleaseResource; asking again before that gives the same handle. Null
 * for an ID this platform does not have; ResError then answers
 * resNotFound, and noErr after a success. */
PLATFORM_API Handle GetIntlResource(SInt16 theID) PLATFORM_NOEXCEPT;

/* ResError (platform/resources/Resources.h) answers for these resources
 * too. Frees a resource handle handed out here; the next request loads a fresh
 * copy. A null handle or one that is not a resource gives ResError
 * resNotFound and changes nothing. */
PLATFORM_API void ReleaseResource(Handle theResource) PLATFORM_NOEXCEPT;

/* ---- Script Manager ------------------------------------------------------ */

enum {
  smRoman = 0,
  smSystemScript = -1,
  smCurrentScript = -2,
  smAllScripts = -3
};
enum {
  smVersion = 0,
  smEnabled = 4,
  smSysScript = 18,
  smLastScript = 20,
  smKeyScript = 22,
  smRegionCode = 40
};
/* Table codes of GetIntlResourceTable. */
enum { smWordSelectTable = 0, smWordWrapTable = 1, smNumberPartsTable = 2, smUnTokenTable = 3,
       smWhiteSpaceList = 4 };

/* A Script Manager variable: smVersion 0x0710, smEnabled 1 (one script),
 * smSysScript / smLastScript / smKeyScript 0 (Roman), smRegionCode 0
 * (United States); any other selector 0. */
PLATFORM_API SInt32 GetScriptManagerVariable(SInt16 selector) PLATFORM_NOEXCEPT;

/* Locates a table of a script's 'itl4' resource: on success *itlPtr is the
 * resource's start, and the table is *length bytes at *itlPtr + *offset
 * (the data stays valid for the life of the process; callers copy it).
 * Scripts smRoman, smSystemScript and smCurrentScript are Roman; only
 * smNumberPartsTable is present. Otherwise *itlPtr is null and *offset,
 * *length are 0. Null arguments are ignored. */
PLATFORM_API void GetIntlResourceTable(ScriptCode script, SInt16 tableCode, Ptr *itlPtr,
                                       SInt32 *offset, SInt32 *length) PLATFORM_NOEXCEPT;

/* ---- Number parts -------------------------------------------------------- */

/* Token numbers: the symbol of token t is data[t - 1]. Each symbol is one
 * or two bytes (a[1] = 0 for one byte). */
enum {
  tokLeftQuote = 1,
  tokRightQuote = 2,
  tokLeadPlacer = 3, /* '^' */
  tokLeader = 4,     /* ' ', what '^' shows */
  tokNonLeader = 5,  /* '#' */
  tokZeroLead = 6,   /* '0' */
  tokPercent = 7,
  tokPlusSign = 8,
  tokMinusSign = 9,
  tokThousands = 10,
  tokReserved = 11,
  tokSeparator = 12, /* ';' */
  tokEscape = 13,
  tokDecPoint = 14,
  tokEPlus = 15,     /* "E+" */
  tokEMinus = 16,    /* "E-" */
  tokMaxSymbols = 31,
  curNumberPartsVersion = 1
};

typedef union WideChar {
  char a[2];
  SInt16 b;
} WideChar;

typedef struct WideCharArr {
  SInt16 size;
  WideChar data[10];
} WideCharArr;

typedef struct NumberParts {
  SInt16 version;
  WideChar data[tokMaxSymbols];
  WideCharArr pePlus;
  WideCharArr peMinus;
  WideCharArr peMinusPlus;
  WideCharArr altNumTable;
  char reserved[20];
} NumberParts;
typedef NumberParts *NumberPartsPtr;

/* ---- Compiled formats and conversions ------------------------------------ */

typedef SInt16 FormatStatus;
enum {
  fFormatOK = 0,
  fBestGuess = 1,
  fOutOfSynch = 2,
  fSpuriousChars = 3,
  fMissingDelimiter = 4,
  fExtraDecimal = 5,
  fMissingLiteral = 6,
  fExtraExp = 7,
  fFormatOverflow = 8,
  fFormStrIsNAN = 9,
  fBadPartsTable = 10,
  fExtraPercent = 11,
  fExtraSeparator = 12,
  fEmptyFormatString = 13
};

/* A compiled format: fLength bytes of data in this platform's own form. */
typedef struct NumFormatString {
  UInt8 fLength;
  UInt8 fVersion;
  char data[254];
} NumFormatString;

/* The 80-bit extended type: exp holds the sign (bit 15) and the biased
 * exponent (bias 16383); man[0..3] the 64-bit significand with its explicit
 * integer bit, most significant word first. Words are in native order. */
typedef struct extended80 {
  UInt16 exp;
  UInt16 man[4];
} extended80;

/* Compiles a format string (see above) with the symbols of partsTable into
 * *outString. Results: fFormatOK; fBadPartsTable for a null or wrong-version
 * table; fMissingDelimiter for an unclosed quote or a trailing escape;
 * fExtraDecimal, fExtraExp, fExtraPercent for a second decimal point,
 * exponent or percent in one part; fExtraSeparator for more than three
 * parts; fSpuriousChars for a byte that is no symbol, or a part without a
 * digit symbol; fFormatOverflow when the compiled form exceeds 254 bytes.
 * On failure *outString is the empty (free) format. */
PLATFORM_API FormatStatus StringToFormatRec(ConstStr255Param inString, const NumberParts *partsTable,
                                            NumFormatString *outString) PLATFORM_NOEXCEPT;

/* Writes *x as text per the compiled format into outString. A text longer
 * than 255 bytes gives fFormatOverflow. fBadPartsTable for a bad table,
 * fOutOfSynch for a record StringToFormatRec did not make. outString is
 * the empty string on failure. */
PLATFORM_API FormatStatus ExtendedToString(const extended80 *x, const NumFormatString *myCanonical,
                                           const NumberParts *partsTable,
                                           Str255 outString) PLATFORM_NOEXCEPT;

/* Reads source as a number written per the format: surrounding spaces, the
 * literals of the format's parts (a text matching the negative part's
 * literals is negative), a sign, digits with thousands separators, the
 * decimal point, an exponent (E, E+, E- with digits), a percent sign
 * (divides by 100). The decimal value is rounded once, to nearest, into a
 * double and then widened. Results: fFormatOK; fSpuriousChars for a text
 * that is not a number or has bytes left over (*x unchanged); fFormatOverflow
 * for a value beyond the double range (*x is then the signed infinity);
 * fBadPartsTable; fOutOfSynch. */
PLATFORM_API FormatStatus StringToExtended(ConstStr255Param source, const NumFormatString *myCanonical,
                                           const NumberParts *partsTable,
                                           extended80 *x) PLATFORM_NOEXCEPT;

/* Exact widening of a double (every double, infinities and NaNs included,
 * is representable; a NaN keeps its payload bits). */
PLATFORM_API void dtox80(const double *x, extended80 *x80) PLATFORM_NOEXCEPT;
/* Narrowing to double, rounded to nearest, ties to even; beyond the double
 * range gives the signed infinity, below it a subnormal or signed zero.
 * An unnormal (integer bit clear with a non-zero exponent) is read as its
 * value; a pseudo-infinity/NaN pattern gives a NaN. */
PLATFORM_API double x80tod(const extended80 *x80) PLATFORM_NOEXCEPT;

/* ---- Test hooks ----------------------------------------------------------
 * Makes GetIntlResource and GetIntlResourceTable behave as if the
 * international resources were missing (true) or present (false). When
 * `err` is not noErr, GetIntlResource instead succeeds but leaves ResError
 * at err. */
PLATFORM_API void PlatformSetIntlResourcesMissing(Boolean missing) PLATFORM_NOEXCEPT;
PLATFORM_API void PlatformSetIntlResourceError(OSErr err) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#ifdef __cplusplus
static_assert(sizeof(Intl0Rec) == 32, "itl0 record is 32 bytes");
static_assert(sizeof(WideChar) == 2 && sizeof(WideCharArr) == 22, "wide characters");
static_assert(sizeof(NumberParts) == 172, "number parts table is 172 bytes");
static_assert(sizeof(NumFormatString) == 256, "compiled format is 256 bytes");
static_assert(sizeof(extended80) == 10, "extended is 10 bytes");
#endif

#endif
