// Runs the fuzz target bodies on random and mutated inputs in every test run,
// so they keep building and a crash on simple input shows up here first.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace corvane {
namespace {

using namespace std::string_literals;

// Seeds close to real files, then random byte flips, cuts and insertions.
void RunMutated(void (*target)(const uint8_t*, std::size_t), const std::vector<std::string>& seeds, int rounds) {
  std::mt19937 rng(12345);
  const std::string alphabet = "[]=;\r\n \t\\n0123456789_.abcKRVavi\x81\x5C\xD6\xD0\xEF\xBB\xBF";
  for (int i = 0; i < rounds; ++i) {
    std::string s = seeds[rng() % seeds.size()];
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      std::size_t pos = s.empty() ? 0 : rng() % (s.size() + 1);
      switch (rng() % 4) {
        case 0:
          if (pos < s.size()) s[pos] = static_cast<char>(rng());
          break;
        case 1:
          s.insert(pos, 1, alphabet[rng() % alphabet.size()]);
          break;
        case 2:
          if (pos < s.size()) s.erase(pos, 1 + rng() % 4);
          break;
        default:
          s.insert(pos, 1, static_cast<char>(rng()));
      }
    }
    target(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  }
}

TEST(FuzzSmoke, IniReaderAndWriter) {
  RunMutated(fuzz::FuzzIni,
             {"[Setting]\r\nLanguage=English\r\n", "[a]\nb = c \n;x\n[A]\nB=d\0a\0b\0c"s,
              "\xEF\xBB\xBF[S]\nK=V\0SKV"s, ""},
             20000);
}

TEST(FuzzSmoke, DisplayDecoding) {
  RunMutated(fuzz::FuzzDecode, {"\xD6\xD0\xCE\xC4", "中文", "\x81\x5Cn", ""}, 20000);
}

// Inputs the fuzzer found, each a fault mended.
TEST(FuzzSmoke, FoundInputs) {
  // A file whose last line ends in a bare CR, then a key written to section
  // "[": the CR became part of a CR LF, the last line turned into the header
  // "[[" of a section "[", and the written key could not be read back.
  const std::string ini = "\xEF\xBB@\x10\x10\x10S\n[[\r\0[\0na"s;
  fuzz::FuzzIni(reinterpret_cast<const uint8_t*>(ini.data()), ini.size());
}

TEST(FuzzSmoke, LanguageFiles) {
  const std::string english(EmbeddedLanguageFile(false)), chinese(EmbeddedLanguageFile(true));
  RunMutated(fuzz::FuzzLanguage,
             {english.substr(0, 600), chinese.substr(0, 600), "[String]\r\nK=a\\nb\r\n\0K"s, "[Setting]\nLanguage=\xD6\xD0"},
             5000);
  // A text longer than the buffer is cut on a character boundary.
  EXPECT_EQ(LangTextOf("[String]\r\nK=" + std::string(3000, 'x') + "\r\n", "String", "K", "").size(), 999u);
  EXPECT_EQ(LangTextOf(chinese, "Setting", "Language", ""), "中文");
  EXPECT_EQ(LangTextOf("[String]\nK=a\\nb\n", "String", "K", ""), "a\nb");
}

}  // namespace
}  // namespace corvane
