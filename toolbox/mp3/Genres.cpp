// The genre vocabulary: ID3v1 genre numbers, their names, an alphabetical
// order of the names for menus, and genre text read back into numbers.

#include <cstdint>
#include <cstring>

#include "toolbox/mp3/MP3Toolbox.h"

extern "C" {

const char *const kMP3GenreTable[] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave",
    "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
    "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "Acapella",
    "Euro-House", "Dance Hall",
};

const SInt32 kMP3GenreTableSize = 126;

} // extern "C"

namespace ql::detail {

static_assert(sizeof(kMP3GenreTable) / sizeof(kMP3GenreTable[0]) == 126);

// For each position in the alphabetical list, the genre number. The order
// folds case and puts "Acid Jazz" and "Acid Punk" before "Acid", "Rock &
// Roll" before "Rock" (likewise Dance, Gothic, Instrumental, Punk), while
// "Folk", "Jazz", "Pop" and "Techno" come before their longer forms. The
// last two bytes are unused.
extern const UInt8 kMP3SortedToUnsortedGenreIndexTable[128] = {
    123, 74, 73, 34, 99, 20, 40, 26, 90, 116, 41, 85, 96, 89, 0, 107,
    65, 88, 104, 102, 97, 61, 1, 32, 112, 57, 2, 58, 125, 3, 50, 22,
    4, 55, 122, 120, 98, 52, 48, 124, 25, 54, 84, 80, 81, 115, 119, 5,
    30, 36, 59, 38, 91, 49, 6, 79, 7, 35, 100, 19, 46, 47, 33, 8,
    29, 63, 86, 71, 45, 9, 77, 82, 64, 10, 66, 39, 11, 103, 12, 75,
    13, 53, 62, 109, 117, 23, 108, 92, 67, 93, 121, 43, 14, 15, 68, 16,
    76, 87, 118, 78, 17, 114, 110, 69, 21, 111, 95, 105, 42, 37, 24, 56,
    44, 101, 83, 94, 106, 113, 18, 51, 60, 70, 31, 72, 27, 28,
    0, 0,
};

// The inverse: for each genre number, its position in the list.
extern const UInt8 kMP3UnsortedToSortedGenreIndexTable[128] = {
    14, 22, 26, 29, 32, 47, 54, 56, 63, 69, 73, 76, 78, 80, 92, 93,
    95, 100, 118, 59, 5, 104, 31, 85, 110, 40, 7, 124, 125, 64, 48, 122,
    23, 62, 3, 57, 49, 109, 51, 75, 6, 10, 108, 91, 112, 68, 60, 61,
    38, 53, 30, 119, 37, 81, 41, 33, 111, 25, 27, 50, 120, 21, 82, 65,
    72, 16, 74, 88, 94, 103, 121, 67, 123, 2, 1, 79, 96, 70, 99, 55,
    43, 44, 71, 114, 42, 11, 66, 97, 17, 13, 8, 52, 87, 89, 115, 106,
    12, 20, 36, 4, 58, 113, 19, 77, 18, 107, 116, 15, 86, 83, 102, 105,
    24, 117, 101, 45, 9, 84, 98, 46, 35, 90, 34, 0, 39, 28,
    0, 0,
};

} // namespace ql::detail

namespace {

constexpr SInt32 kNoGenre = -1;     // empty text
constexpr SInt32 kCustomGenre = -2; // text that names no standard genre

uint8_t Fold(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool EqualFolded(const uint8_t *text, size_t n, const char *name) {
  if (std::strlen(name) != n)
    return false;
  for (size_t i = 0; i < n; ++i)
    if (Fold(text[i]) != Fold(uint8_t(name[i])))
      return false;
  return true;
}

// The number written by all the decimal digits of the text in a row, or
// kCustomGenre when it is no genre number.
SInt32 NumberFromAllDigits(const uint8_t *text, size_t n) {
  uint32_t value = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!IsDigit(text[i]))
      continue;
    value = value * 10 + uint32_t(text[i] - '0');
    if (value > 125)
      return kCustomGenre; // more digits only make it larger
  }
  return SInt32(value);
}

} // namespace

extern "C" OSErr MP3GenreIndexToString(SInt32 genre, StringPtr out) noexcept {
  if (UInt32(genre) > 125)
    return kMP3BadGenreErr;
  if (out != nullptr) {
    const char *name = kMP3GenreTable[genre];
    const size_t n = std::strlen(name);
    out[0] = uint8_t(n);
    std::memcpy(out + 1, name, n);
  }
  return noErr;
}

extern "C" OSErr MP3GenreStringToIndex(ConstStr255Param text, SInt32 *out) noexcept {
  if (text == nullptr)
    return paramErr;
  const size_t n = text[0];
  const uint8_t *s = text + 1;
  SInt32 genre = kCustomGenre;
  if (n == 0) {
    genre = kNoGenre;
  } else {
    for (SInt32 g = 0; g < 126; ++g)
      if (EqualFolded(s, n, kMP3GenreTable[g])) {
        genre = g;
        break;
      }
    if (genre == kCustomGenre) {
      size_t i = 0;
      while (i < n && IsSpace(s[i]))
        ++i;
      if (i < n && s[i] == '(') {
        // "(9)", "(17)Rock": every digit of the text counts.
        size_t j = i + 1;
        while (j < n && !IsDigit(s[j]))
          ++j;
        if (j < n)
          genre = NumberFromAllDigits(s, n);
      } else if (i < n) {
        // Digits alone, the version 2.4 form of a genre number.
        size_t j = i;
        while (j < n && IsDigit(s[j]))
          ++j;
        if (j == n)
          genre = NumberFromAllDigits(s + i, n - i);
      }
    }
  }
  if (out != nullptr)
    *out = genre;
  return noErr;
}

extern "C" OSErr MP3GenreSortedToUnsortedIndex(SInt32 sorted, SInt32 *genre) noexcept {
  if (UInt32(sorted) > 125)
    return kMP3BadGenreErr;
  if (genre != nullptr)
    *genre = ql::detail::kMP3SortedToUnsortedGenreIndexTable[sorted];
  return noErr;
}

extern "C" OSErr MP3GenreUnsortedToSortedIndex(SInt32 genre, SInt32 *sorted) noexcept {
  if (UInt32(genre) > 125)
    return kMP3BadGenreErr;
  if (sorted != nullptr)
    *sorted = ql::detail::kMP3UnsortedToSortedGenreIndexTable[genre];
  return noErr;
}
