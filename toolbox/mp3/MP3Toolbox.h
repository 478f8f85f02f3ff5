/*
 * MP3 tags: the in-memory tag record and its frames, ID3v2 reading and
 * writing (versions 2.2, 2.3 and 2.4), and the genre vocabulary.
 *
 * A tag holds its frames as a list of MP3TagFrame records in the order they
 * were added. Every frame body is kept exactly as laid out in an ID3v2 frame
 * (encoding byte, strings, binary data), after tag-level resynchronisation
 * and frame decompression; a picture read from a version 2.2 tag is kept in
 * the APIC layout (MIME type instead of the three-letter image format).
 *
 *     MP3Tag *tag = NULL;
 *     OSErr err = MP3NewTag(0, &tag);
 *     if (err == noErr) err = ID3Parse2Pt3Tag(body, bodyLength, tag);
 *     Handle out = NewHandle(0);
 *     if (err == noErr) err = ID3FlattenTagToID3v2(tag, kMP3WriteID3v24, out);
 *     MP3FreeTag(tag);
 *
 * Ownership: a tag owns its frames and their bodies (Memory Manager pointer
 * blocks) until MP3FreeTag. Handles passed in stay the caller's; output is
 * appended after their current content. Use a tag from one thread at a time.
 *
 * Every size read from tag bytes is untrusted: a frame that claims more than
 * remains ends the frame list (the frames before it are kept), a compressed
 * frame that does not expand is skipped, and nothing is read or written
 * outside the bytes given.
 */
#ifndef TOOLBOX_MP3_MP3TOOLBOX_H
#define TOOLBOX_MP3_MP3TOOLBOX_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* ---- Records ------------------------------------------------------------ */

typedef struct MP3TagFrame MP3TagFrame;

struct MP3TagFrame {
  MP3TagFrame *prevFrame; /* neighbours in the tag's list; NULL at the ends */
  MP3TagFrame *nextFrame;
  OSType frameKey;        /* accessor key: the frame-table key, or 'unkn' */
  char longID[4];         /* ID in version 2.3/2.4 tags */
  char shortID[3];        /* ID in version 2.2 tags */
  UInt32 frameFlags;      /* frame flags in the version 2.3 layout (below) */
  SInt32 dataLength;      /* bytes of the body */
  Ptr data;               /* the body, owned by the frame */
};

typedef struct MP3Tag {
  UInt8 v2MajorVersion; /* 2, 3 or 4 as read; 0 when none was read */
  UInt8 v2Revision;
  UInt8 v2Flags;        /* header flags as read; 0x80 = unsynchronised, and
                           asks for unsynchronisation when written */
  UInt8 v1Version;      /* 0x10, 0x11, or 0 when no ID3v1 tag was read */
  SInt32 v2TagSize;     /* bytes of the ID3v2 tag in the file, header included */
  SInt32 audioOffset;   /* first byte after the ID3v2 tag */
  SInt32 audioLength;
  SInt32 frameCount;
  MP3TagFrame *firstFrame;
  MP3TagFrame *lastFrame;
  Boolean mpegInfoValid;
  UInt32 mpegHeader;
  SInt32 mpegVersion;
  SInt32 mpegLayer;
  SInt32 bitRate;
  SInt32 samplingRate;
  SInt32 channelMode;
  SInt32 modeExtension;
  Boolean copyrighted;
  Boolean original;
  UInt8 emphasis;
  Boolean hasXingHeader;
  SInt32 xingSamplingRate;
  UInt32 xingFlags;
  UInt32 xingFrames;
  UInt32 xingBytes;
  UInt32 options; /* per-tag option bits (kMP3Option...) */
} MP3Tag;

/* ---- Constants ---------------------------------------------------------- */

/* Option bits of MP3SetOptions (process-wide, initial value 7) and of a
 * tag's options field. */
enum {
  kMP3OptionPadTags = 0x01,       /* pad written ID3v2 tags to 512 bytes */
  kMP3OptionSmartUnicode = 0x02,
  kMP3OptionKeepUnicode = 0x04,
  kMP3OptionForceUnicode = 0x08,
  kMP3OptionBigEndianMark = 0x10, /* UTF-16 written as FE FF + big-endian */
  kMP3OptionSwapUnicode = 0x20
};

/* Tag-writing flags. The ID3v2 version written is 2.4 when kMP3WriteID3v24
 * is set, else 2.3 when kMP3WriteID3v23 is set, else 2.2. */
enum {
  kMP3WriteID3v1 = 0x01,
  kMP3WriteID3v11 = 0x02,
  kMP3WriteID3v22 = 0x04,
  kMP3WriteID3v23 = 0x08,
  kMP3RemoveOtherTags = 0x20,
  kMP3WriteID3v24 = 0x80
};

/* frameFlags, version 2.3 layout whatever version the frame came from
 * (version 2.4 flags are mapped on reading and back on writing). */
enum {
  kID3FrameTagAlterPreservation = 0x8000,
  kID3FrameFileAlterPreservation = 0x4000,
  kID3FrameReadOnly = 0x2000,
  kID3FrameCompressed = 0x0080, /* written compressed in versions 2.3/2.4 */
  kID3FrameEncrypted = 0x0040,
  kID3FrameGrouped = 0x0020,
  /* A frame that is encrypted or grouped is kept raw: its body holds the
   * bytes exactly as stored after the frame header, its low 16 flag bits
   * are those of the file in that version's own layout, and these bits
   * hold that major version (3 or 4). A raw frame is written back only
   * into a tag of the same major version. */
  kID3FrameRawVersionMask = 0x000F0000,
  kID3FrameRawVersionShift = 16
};

/* Result codes of this family. */
enum {
  kMP3NoTagErr = -5240,       /* no "ID3" marker where a tag was looked for */
  kMP3BadGenreErr = -20002    /* genre number or sorted position above 125 */
};

/* ---- Tag calls ---------------------------------------------------------- */

/* *outTag = a new empty tag with the given options. noErr; paramErr for a
 * null outTag; memFullErr (*outTag untouched). */
QL_EXPORT OSErr MP3NewTag(UInt32 options, MP3Tag **outTag) QL_NOEXCEPT;

/* Frees every frame body, every frame and the tag. NULL is accepted. noErr. */
QL_EXPORT OSErr MP3FreeTag(MP3Tag *tag) QL_NOEXCEPT;

/* Removes the first frame with the key. noErr; errAEDescNotFound when there
 * is none; paramErr for a null tag. */
QL_EXPORT OSErr MP3RemoveTagFrame(MP3Tag *tag, OSType key) QL_NOEXCEPT;

/* selector 1: the ID3v2 version (major, revision), errAENewerVersion when
 * no ID3v2 tag was read; selector 0: the ID3v1 version (high and low
 * nibble of v1Version), errAENewerVersion when none; other selectors:
 * errOSABadSelector (-1754). Outputs may be NULL; written only on noErr. */
QL_EXPORT OSErr MP3GetTagVersion(const MP3Tag *tag, SInt16 selector, UInt8 *major,
                                 UInt8 *minor) QL_NOEXCEPT;

/* selector 1: v2TagSize when an ID3v2 tag was read; selector 0: 128 when an
 * ID3v1 tag was read; otherwise -1754. size may be NULL. */
QL_EXPORT OSErr MP3GetTagSize(const MP3Tag *tag, SInt16 selector, SInt32 *size) QL_NOEXCEPT;

/* *count = the number of frames (count may be NULL). noErr; paramErr for a
 * null tag. */
QL_EXPORT OSErr MP3GetTagFrameCount(const MP3Tag *tag, SInt32 *count) QL_NOEXCEPT;

/* The process-wide options. Always noErr (a null out-pointer is ignored). */
QL_EXPORT OSErr MP3GetOptions(UInt32 *options) QL_NOEXCEPT;
QL_EXPORT OSErr MP3SetOptions(UInt32 options) QL_NOEXCEPT;

/* ---- ID3v2 reading ------------------------------------------------------ */

/* Reads the 10-byte header at the start of an open file (the position is
 * set to 0 first). *size (may be NULL) = the bytes the tag occupies: 10 +
 * the body size, + 10 for a version 2.4 footer. kMP3NoTagErr without "ID3";
 * errAENewerVersion for a version above 4; the read error (eofErr for a
 * short file); -2053 when the platform has no file reading. */
QL_EXPORT OSErr ID3Getv2TagSize(SInt16 refNum, SInt32 *size) QL_NOEXCEPT;

/* Reads and parses the ID3v2 tag of an open file positioned at 0 into tag:
 * the header fields, v2TagSize and audioOffset, then the frames (added at
 * the end of the list). Version 2.2 and 2.3 bodies are resynchronised as a
 * whole when the header says so; version 2.4 frames individually. An
 * extended header is skipped. Errors as ID3Getv2TagSize, plus memFullErr;
 * the frames parsed before an error stay in the tag. */
QL_EXPORT OSErr ID3Getv2Tag(SInt16 refNum, MP3Tag *tag) QL_NOEXCEPT;

/* Parses a version 2.3/2.4 tag body (the bytes after the 10-byte header,
 * already resynchronised for 2.3) into tag. tag->v2MajorVersion selects the
 * version 2.4 rules when it is 4 (syncsafe frame sizes, falling back to
 * plain sizes only when those alone walk the body cleanly; 2.4 frame flags;
 * per-frame unsynchronisation and data-length indicators); tag->v2Flags
 * says whether an extended header (0x40) leads the body and, in 2.4,
 * whether every frame is unsynchronised (0x80). Padding (a zero byte) or
 * the end stops the walk; a 0xFF byte where a frame should start moves the
 * audio there (v2TagSize and audioOffset) unless the body was
 * resynchronised. noErr, paramErr (null tag, or null body with a non-zero
 * length), memFullErr. */
QL_EXPORT OSErr ID3Parse2Pt3Tag(const void *body, SInt32 length, MP3Tag *tag) QL_NOEXCEPT;

/* Parses a version 2.2 body (6-byte frame headers); PIC frames are stored in
 * the APIC layout under the key 'APIC'. Results as ID3Parse2Pt3Tag. */
QL_EXPORT OSErr ID3Parse2Pt2Tag(const void *body, SInt32 length, MP3Tag *tag) QL_NOEXCEPT;

/* 28-bit syncsafe sizes: four 7-bit groups, most significant first (the top
 * bit of each byte is ignored on decoding; bits above the 28th are lost on
 * encoding). */
QL_EXPORT UInt32 ID3DecodeSize(UInt32 word) QL_NOEXCEPT;
QL_EXPORT UInt32 ID3EncodeSize(UInt32 n) QL_NOEXCEPT;

/* Removes unsynchronisation in place (drops the 0x00 after each 0xFF) and
 * shrinks the handle. noErr, nilHandleErr for a null handle, MemError. */
QL_EXPORT OSErr ID3Sync(Handle h) QL_NOEXCEPT;

/* Applies unsynchronisation to the whole content of h: a 0x00 is inserted
 * after every 0xFF followed by a byte 0xE0-0xFF, by 0x00, or by nothing.
 * noErr, nilHandleErr, memFullErr (h unchanged). */
QL_EXPORT OSErr ID3Unsync(Handle h) QL_NOEXCEPT;

/* The length the block will have after unsynchronisation. */
QL_EXPORT UInt32 ID3CalcUnsyncSize(const void *p, UInt32 length) QL_NOEXCEPT;

/* ---- ID3v2 writing ------------------------------------------------------ */

/* Appends a whole ID3v2 tag for the tag's frames to h, in the version the
 * flags select. Frames whose ID does not exist in that version are not
 * written (TYER and TDRC map to each other, once per tag); version 2.2
 * pictures take the PIC layout; texts in UTF-16BE or UTF-8 become UTF-16
 * with a byte-order mark below 2.4; compressed frames are recompressed
 * (2.3/2.4). With v2Flags 0x80 the tag is unsynchronised: as a whole in
 * 2.2/2.3, frame by frame with data-length indicators in 2.4. The only
 * header flag written is 0x80, when unsynchronising. With kMP3OptionPadTags
 * in the process-wide options the tag is padded with zeros to a multiple of
 * 512 bytes. Bytes already in h are never changed.
 * Results: noErr; paramErr (null tag or handle, or a tag too large for the
 * 28-bit size field: h is then cut back to its size on entry); memFullErr or
 * the MemError of a resize, and zlib's codes, h then holding what was
 * appended so far. */
QL_EXPORT OSErr ID3FlattenTagToID3v2(const MP3Tag *tag, UInt32 flags, Handle h) QL_NOEXCEPT;

/* Appends one frame, converted for the version the flags select as above;
 * appends nothing (noErr) for a frame that has no place in that version.
 * Results as ID3FlattenTagToID3v2. */
QL_EXPORT OSErr ID3FlattenTagFrameToID3v2(const MP3Tag *tag, const MP3TagFrame *frame,
                                          UInt32 flags, Handle h) QL_NOEXCEPT;

/* ---- Genres ------------------------------------------------------------- */

/* The 126 genre names, indexed by genre number. */
QL_EXPORT extern const char *const kMP3GenreTable[];
QL_EXPORT extern const SInt32 kMP3GenreTableSize;

/* out (may be NULL) = the genre's name as a Pascal string. kMP3BadGenreErr
 * for numbers above 125 and negative numbers. */
QL_EXPORT OSErr MP3GenreIndexToString(SInt32 genre, StringPtr out) QL_NOEXCEPT;

/* *out (may be NULL) = the genre number of a text: 0-125 for a genre name
 * in any letter case, or a text giving a valid number in parentheses ("(9)",
 * "  (17)Rock") or as digits alone ("17"); -1 for an empty text; -2 for any
 * other text. paramErr for a null text. */
QL_EXPORT OSErr MP3GenreStringToIndex(ConstStr255Param text, SInt32 *out) QL_NOEXCEPT;

/* Between genre numbers and positions in the alphabetical list of names.
 * kMP3BadGenreErr above 125 (negative numbers included); out may be NULL. */
QL_EXPORT OSErr MP3GenreSortedToUnsortedIndex(SInt32 sorted, SInt32 *genre) QL_NOEXCEPT;
QL_EXPORT OSErr MP3GenreUnsortedToSortedIndex(SInt32 genre, SInt32 *sorted) QL_NOEXCEPT;

QL_END_DECLS

#endif
