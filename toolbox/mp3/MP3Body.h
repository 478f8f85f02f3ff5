// Conversions of frame bodies between ID3v2 versions: the version 2.2
// picture layout, texts in encodings that older versions lack, and the
// year frames. Library-internal; every function may throw std::bad_alloc,
// which the exported callers turn into memFullErr.
#ifndef TOOLBOX_MP3_MP3BODY_H
#define TOOLBOX_MP3_MP3BODY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ql::detail {

using ByteVector = std::vector<uint8_t>;

// PIC body (encoding, 3-letter image format, picture type, description,
// data) to the APIC layout (encoding, MIME type with a NUL, picture type,
// description, data). False when the body is too short.
bool ID3PicToApic(const uint8_t *body, size_t length, ByteVector &out);

// APIC body to the PIC layout. False when the MIME type has no terminator.
bool ID3ApicToPic(const uint8_t *body, size_t length, ByteVector &out);

enum class ID3Conversion { kUnchanged, kConverted, kImpossible };

// For a frame body with the given 4-byte ID: when its encoding byte is 2
// (UTF-16BE) or 3 (UTF-8), rewrites every encoded string as UTF-16 with a
// byte-order mark (FE FF and big-endian units when bigEndianMark, else FF FE
// and little-endian units), the encoding byte becoming 1. kUnchanged for
// encodings 0 and 1 and for frames without encoded text; kImpossible for a
// body that does not follow its frame's layout.
ID3Conversion ID3ConvertToUTF16(const char *longID, const uint8_t *body, size_t length,
                                bool bigEndianMark, ByteVector &out);

// A version 2.4 recording time ("2004-05-06T10:00") as a year frame body:
// Latin-1 and the first four characters, when those are digits. False
// otherwise.
bool ID3YearFromTimestamp(const uint8_t *body, size_t length, ByteVector &out);

} // namespace ql::detail

#endif
