// The searches that decide whether a file is read at all: a word missed here is a file left
// unconverted, so every answer is held against a plain search byte by byte.
#include "MigWizard/WordSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using migwiz::CountLineFeeds;
using migwiz::TWordSearch;

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Whether a word stands in the text, ASCII letters in either case, one place after another.
bool PlainFound(const std::vector<std::string>& words, const std::string& text) {
  for (const std::string& w : words) {
    if (w.empty()) return true;
    for (size_t i = 0; i + w.size() <= text.size(); ++i) {
      size_t j = 0;
      while (j < w.size() && Upper(text[i + j]) == Upper(w[j])) ++j;
      if (j == w.size()) return true;
    }
  }
  return false;
}

// The bytes in a buffer of their own size, so a read past the end is a read outside it.
bool FoundIn(const TWordSearch& search, const std::string& text) {
  std::unique_ptr<char[]> bytes(new char[text.size()]);
  std::copy(text.begin(), text.end(), bytes.get());
  return search.FoundIn(std::string_view(bytes.get(), text.size()));
}

// A fixed sequence, so a failure comes back the same on every run.
struct TSequence {
  std::uint64_t state = 88172645463325252ull;
  unsigned Next(unsigned bound) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<unsigned>(state % bound);
  }
};

}  // namespace

// Every place a word can stand: the first and last bytes, across the sixteen-byte blocks, in the
// tail behind the last whole block and in texts shorter than one; among near misses (the word
// without its last letter) that send the search to compare again and again.
TEST(WordSearch, FindsAWordWhereverItStandsAndNoWordThatDoesNot) {
  const TWordSearch search({"TQuery", "TStoredProc"});
  for (size_t size = 0; size <= 50; ++size) {
    std::string filler;
    while (filler.size() < size) filler += "tquer TQUER. ";
    filler.resize(size);
    EXPECT_FALSE(FoundIn(search, filler)) << size;
    for (const std::string spelling : {"TQuery", "tquery", "TQUERY", "tStOrEdPrOc"}) {
      if (spelling.size() > size) continue;
      for (size_t at = 0; at + spelling.size() <= size; ++at) {
        std::string text = filler;
        text.replace(at, spelling.size(), spelling);
        EXPECT_TRUE(FoundIn(search, text)) << size << " " << at << " " << spelling;
        // The last letter changed: a near miss only.
        text[at + spelling.size() - 1] = '_';
        EXPECT_FALSE(FoundIn(search, text)) << size << " " << at << " " << spelling;
      }
    }
  }
  // The words are looked for within others too: the reading that follows tells words apart.
  EXPECT_TRUE(FoundIn(search, "XTQuery1"));
}

// Only ASCII letters match in either case: a byte beyond ASCII, or a symbol 32 apart from another,
// matches itself alone.
TEST(WordSearch, OnlyAsciiLettersMatchInEitherCase) {
  const TWordSearch search({"caf\xC3\xA9", "\xE4rger", "{x"});
  EXPECT_TRUE(FoundIn(search, "Le CAF\xC3\xA9!"));
  EXPECT_FALSE(FoundIn(search, "Le CAF\xC3\x89!"));  // the capital of the last letter, in UTF-8
  EXPECT_TRUE(FoundIn(search, "---\xE4RGER---------------------"));
  EXPECT_FALSE(FoundIn(search, "---\xC4RGER---------------------"));  // 0xE4 - 32
  EXPECT_TRUE(FoundIn(search, "{X"));
  EXPECT_FALSE(FoundIn(search, "[x"));  // '{' - 32
  // High bytes in the text, and bytes from 128 up in the blocks the search reads together.
  std::string high(40, '\xFF');
  high.replace(17, 4, "CAF\xC3");
  EXPECT_FALSE(FoundIn(search, high));
  high.replace(17, 5, "cAf\xC3\xA9");
  EXPECT_TRUE(FoundIn(search, high));
}

// No words: nothing is found; an empty word: every text holds it, the empty text too. A word of
// one letter stands wherever the letter does, the last byte too.
TEST(WordSearch, EmptyAndOneLetterWords) {
  const std::string text = "some text longer than sixteen bytes";
  EXPECT_FALSE(FoundIn(TWordSearch(), text));
  EXPECT_FALSE(FoundIn(TWordSearch(std::vector<std::string>{}), text));
  EXPECT_TRUE(FoundIn(TWordSearch({"zzz", ""}), ""));
  EXPECT_TRUE(FoundIn(TWordSearch({"zzz", ""}), text));
  const TWordSearch one({"Q"});
  EXPECT_FALSE(FoundIn(one, ""));
  EXPECT_TRUE(FoundIn(one, "q"));
  for (size_t size = 1; size <= 40; ++size) {
    std::string t(size, '-');
    EXPECT_FALSE(FoundIn(one, t)) << size;
    t.back() = 'q';
    EXPECT_TRUE(FoundIn(one, t)) << size;
    t.back() = '\0';
    t.front() = 'Q';
    EXPECT_TRUE(FoundIn(one, t)) << size;
  }
}

// A few words (their first letters compared sixteen bytes at once) and many (more first letters
// than are compared so, read byte by byte) answer as a plain search does, over texts made of
// pieces of the words in either case, whole ones now and then, and single bytes of any value.
TEST(WordSearch, FewWordsAndManyAnswerAsAPlainSearch) {
  const std::vector<std::string> few = {"TQuery", "DBTables", "$R", "TTable"};
  std::vector<std::string> many = few;
  for (const char* w : {"Cog", "fig", "Gin", "hip", "Ink", "jog", "Kin", "Mop", "nog", "Ova", "pox",
                        "Vow", "wig", "Zip", "\xC3\xA9\xC3"})
    many.emplace_back(w);
  const TWordSearch fewSearch(few), manySearch(many);
  TSequence seq;
  int found = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    for (unsigned pieces = seq.Next(12); pieces > 0; --pieces) {
      if (seq.Next(3) == 0) {
        text += static_cast<char>(seq.Next(256));
        continue;
      }
      const std::string& w = many[seq.Next(static_cast<unsigned>(many.size()))];
      const size_t n = seq.Next(4) == 0 ? w.size() : 1 + seq.Next(static_cast<unsigned>(w.size()));
      for (size_t i = 0; i < n; ++i) {
        const char c = w[i];
        text += seq.Next(2) ? Upper(c) : static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      }
    }
    const bool plain = PlainFound(few, text);
    found += plain;
    EXPECT_EQ(FoundIn(fewSearch, text), plain) << text;
    EXPECT_EQ(FoundIn(manySearch, text), PlainFound(many, text)) << text;
  }
  EXPECT_GT(found, 400);  // the texts hold the words often enough to tell
  EXPECT_LT(found, 3600);
}

// The line feeds of any stretch, wherever it starts and ends, counted as one by one; also where
// every byte is one, over enough blocks to overflow a byte-wide counter kept for too long.
TEST(CountLineFeeds, CountsAsOneByOne) {
  TSequence seq;
  std::string bytes(700, ' ');
  for (char& c : bytes) {
    const unsigned r = seq.Next(4);
    c = r == 0 ? '\n' : r == 1 ? '\r' : static_cast<char>(seq.Next(256));
  }
  for (size_t from = 0; from < 16; ++from)
    for (size_t end = from; end <= bytes.size(); ++end)
      ASSERT_EQ(CountLineFeeds(bytes.data() + from, bytes.data() + end),
                static_cast<size_t>(std::count(bytes.begin() + static_cast<long>(from),
                                               bytes.begin() + static_cast<long>(end), '\n')))
          << from << " " << end;
  for (size_t size : {4079u, 4080u, 4081u, 4096u, 8160u, 8161u, 20000u}) {
    const std::string feeds(size, '\n');
    EXPECT_EQ(CountLineFeeds(feeds.data(), feeds.data() + size), size);
    EXPECT_EQ(CountLineFeeds(feeds.data() + 3, feeds.data() + size), size - 3);
  }
}
