// Genre names, numbers and the alphabetical order.

#include <gtest/gtest.h>

#include <string>

#include "tests/mp3/Mp3TestSupport.h"

namespace {

std::string Pascal(const unsigned char *s) { return std::string(reinterpret_cast<const char *>(s + 1), s[0]); }

TEST(MP3Genre, TableSpellings) {
  ASSERT_EQ(kMP3GenreTableSize, 126);
  EXPECT_STREQ(kMP3GenreTable[0], "Blues");
  EXPECT_STREQ(kMP3GenreTable[40], "AlternRock");
  EXPECT_STREQ(kMP3GenreTable[67], "Psychadelic");
  EXPECT_STREQ(kMP3GenreTable[85], "Bebob");
  EXPECT_STREQ(kMP3GenreTable[100], "Humour");
  EXPECT_STREQ(kMP3GenreTable[125], "Dance Hall");
}

TEST(MP3Genre, IndexToString) {
  Str255 name = {0};
  EXPECT_EQ(MP3GenreIndexToString(17, name), noErr);
  EXPECT_EQ(Pascal(name), "Rock");
  EXPECT_EQ(MP3GenreIndexToString(78, name), noErr);
  EXPECT_EQ(Pascal(name), "Rock & Roll");
  EXPECT_EQ(MP3GenreIndexToString(0, nullptr), noErr);
  name[0] = 99;
  EXPECT_EQ(MP3GenreIndexToString(126, name), kMP3BadGenreErr);
  EXPECT_EQ(MP3GenreIndexToString(-1, name), kMP3BadGenreErr);
  EXPECT_EQ(name[0], 99);
}

TEST(MP3Genre, StringToIndex) {
  struct Case {
    const char *id;
    std::string text;
    SInt32 genre;
  } cases[] = {
      {"name", "Rock", 17},
      {"lower case", "rock", 17},
      {"upper case", "ROCK", 17},
      {"name with symbols", "r&b", 14},
      {"number in parentheses", "  (9)", 9},
      {"number then name", "(17)Rock", 17},
      {"number out of range", "  (200)", -2},
      {"digits of two numbers", "(1)(2)", 12},
      {"unknown name", "Chiptune", -2},
      {"lone parenthesis", "(", -2},
      {"parenthesis without digits", "(Rock)", -2},
      {"empty", "", -1},
      {"digits alone", "17", 17},
      {"digits alone out of range", "300", -2},
      {"many digits", "(99999999999999999999)", -2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Str255 text;
    text[0] = uint8_t(c.text.size());
    std::memcpy(text + 1, c.text.data(), c.text.size());
    SInt32 genre = 1000;
    EXPECT_EQ(MP3GenreStringToIndex(text, &genre), noErr);
    EXPECT_EQ(genre, c.genre);
  }
  EXPECT_EQ(MP3GenreStringToIndex(nullptr, nullptr), paramErr);
}

// Every name maps back to its own number, whatever its case.
TEST(MP3Genre, EveryNameRoundTrips) {
  for (SInt32 g = 0; g < 126; ++g) {
    Str255 name;
    ASSERT_EQ(MP3GenreIndexToString(g, name), noErr);
    for (int i = 1; i <= name[0]; ++i)
      if (name[i] >= 'a' && name[i] <= 'z')
        name[i] -= 32;
    SInt32 back = -5;
    ASSERT_EQ(MP3GenreStringToIndex(name, &back), noErr);
    EXPECT_EQ(back, g) << kMP3GenreTable[g];
  }
}

TEST(MP3Genre, SortedOrder) {
  SInt32 v = -1;
  EXPECT_EQ(MP3GenreSortedToUnsortedIndex(0, &v), noErr);
  EXPECT_EQ(v, 123);
  EXPECT_EQ(MP3GenreUnsortedToSortedIndex(17, &v), noErr);
  EXPECT_EQ(v, 100);
  EXPECT_EQ(MP3GenreSortedToUnsortedIndex(126, &v), kMP3BadGenreErr);
  EXPECT_EQ(MP3GenreUnsortedToSortedIndex(-1, &v), kMP3BadGenreErr);

  // The two tables are inverse permutations, and the order is
  // case-insensitive alphabetical apart from the documented exceptions.
  std::string previous;
  std::vector<bool> seen(126);
  for (SInt32 pos = 0; pos < 126; ++pos) {
    SInt32 genre = -1, back = -1;
    ASSERT_EQ(MP3GenreSortedToUnsortedIndex(pos, &genre), noErr);
    ASSERT_EQ(MP3GenreUnsortedToSortedIndex(genre, &back), noErr);
    EXPECT_EQ(back, pos);
    EXPECT_FALSE(seen[genre]);
    seen[genre] = true;
    std::string name = kMP3GenreTable[genre];
    for (char &ch : name)
      if (ch >= 'A' && ch <= 'Z')
        ch += 32;
    const bool exception = previous.rfind(name + " ", 0) == 0; // "acid" after "acid jazz"
    if (!exception) {
      EXPECT_LT(previous.substr(0, previous.find(' ')), name + "~") << previous << " / " << name;
    }
    previous = name;
  }
}

} // namespace
