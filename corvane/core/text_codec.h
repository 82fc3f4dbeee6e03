// Turning the 8-bit texts the program meets (language files, settings, car
// numbers from recordings) into UTF-8 for display.
//
// The recorder and the built-in language files speak code page 936 (GBK);
// files a user writes today are usually UTF-8. A text is shown as UTF-8 when
// it is valid UTF-8, else it is read as GBK.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// GBK (code page 936) to UTF-8. A byte sequence that is not GBK becomes U+FFFD
// and decoding goes on after it.
std::string GbkToUtf8(std::string_view bytes);

// bytes as they are when valid UTF-8, else GbkToUtf8(bytes).
std::string DecodeForDisplay(std::string_view bytes);

// Cuts UTF-8 text to at most maxChars code points.
std::string TruncateUtf8(std::string_view utf8, std::size_t maxChars);

}  // namespace corvane
