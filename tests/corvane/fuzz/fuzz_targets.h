// Bodies of the corvane_core fuzz targets: the INI reader and writer, the
// record-name grammar and the display decoding. Each takes arbitrary bytes and
// must neither crash nor read out of bounds. Used by the libFuzzer entry
// points beside this file and by the smoke test that runs them on random
// inputs in every test run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "core/ini.h"
#include "core/language.h"
#include "core/record_name.h"
#include "core/text_codec.h"
#include "record_name_oracle.h"

namespace corvane::fuzz {

// The input splits at the first NUL into a file and a section/key/value triple.
inline void FuzzIni(const uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::size_t cut = in.find('\0');
  std::string_view file = in.substr(0, cut);
  std::string_view rest = cut == std::string_view::npos ? std::string_view{} : in.substr(cut + 1);
  IniFile ini(file);
  std::string_view section = rest.substr(0, rest.size() / 3);
  std::string_view key = rest.substr(rest.size() / 3, rest.size() / 3);
  std::string_view value = rest.substr(2 * (rest.size() / 3));
  std::string got = ini.Get(section, key, "d", 1 + size % 64);
  if (got.size() > size % 64) __builtin_trap();
  (void)ini.GetInt(section, key, 0);
  if (ini.Set(section, key, value)) {
    // What was written reads back as written (trimmed), and the bytes reparse
    // to the same file.
    std::string back;
    IniFile again(ini.Bytes());
    if (!again.Find(section, key, &back)) __builtin_trap();
    if (again.Bytes() != ini.Bytes()) __builtin_trap();
  }
}

inline void FuzzRecordName(const uint8_t* data, std::size_t size) {
  std::string_view name(reinterpret_cast<const char*>(data), size);
  RecordName krv = ParseRecordName(name, RecordKind::Krv);
  RecordName avi = ParseRecordName(name, RecordKind::Avi);
  if (RecordTypeImage(krv.typeMask) > 15 || avi.channel < 0 || krv.channel != -1) __builtin_trap();
  if ((krv.typeMask & 0xF0F0F0F0u) != 0) __builtin_trap();  // one hex digit per byte
  // Exactly what the C library's sscanf and timegm make of the name.
  if (!test::SameRecordName(krv, test::SscanfRecordName(name, RecordKind::Krv))) __builtin_trap();
  if (!test::SameRecordName(avi, test::SscanfRecordName(name, RecordKind::Avi))) __builtin_trap();
}

inline void FuzzDecode(const uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string text = DecodeForDisplay(bytes);
  if (!IsValidUtf8(text)) __builtin_trap();
  if (!IsValidUtf8(TruncateUtf8(text, size % 7))) __builtin_trap();
}

// A language file: its name, a few texts and a key the input names itself
// (after the last NUL), each valid UTF-8 within the text buffer.
inline void FuzzLanguage(const uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::size_t cut = in.rfind('\0');
  std::string_view file = in.substr(0, cut);
  std::string_view key = cut == std::string_view::npos ? std::string_view{"IDS_TIPS_CLOSE"} : in.substr(cut + 1);
  for (auto [section, k] : {std::pair<std::string_view, std::string_view>{"Setting", "Language"},
                            {"String", "IDD102_Title"}, {"String", key}, {key, key}}) {
    std::string text = LangTextOf(file, section, k, "Not found");
    if (!IsValidUtf8(text) || text.size() > 4 * kLangBufChars) __builtin_trap();
  }
}

}  // namespace corvane::fuzz
