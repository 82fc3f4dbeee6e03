// What a recording's file name says: start time, record types and (AVI) channel.
//
//   KRV: YYYYMMDDhhmmss_TTTT.krv     (all channels of one period)
//   AVI: YYYYMMDDhhmmss_TTTT_CC.avi  (one channel, CC = 1..)
//
// T are four hexadecimal digits, one per record type in the order manual,
// timing, motion, alarm; a digit is non-zero when the recording was made for
// that reason.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

enum class RecordKind { Krv, Avi };

// The four type digits packed, first digit in the top byte:
// (d1 << 24) | (d2 << 16) | (d3 << 8) | d4. A filter mask has 0xFF in the byte
// of each wanted type; a recording matches when the AND is non-zero.
using RecordTypeMask = uint32_t;
inline constexpr RecordTypeMask kAllRecordTypes = 0xFFFFFFFFu;
inline constexpr RecordTypeMask kTypeManual = 0xFF000000u;
inline constexpr RecordTypeMask kTypeTiming = 0x00FF0000u;
inline constexpr RecordTypeMask kTypeMotion = 0x0000FF00u;
inline constexpr RecordTypeMask kTypeAlarm = 0x000000FFu;

// The list bits of the record types: manual 8, timing 4, motion 2, alarm 1.
// Their sum (0-15) is the number of the row's type picture.
int RecordTypeImage(RecordTypeMask mask);

struct RecordName {
  int64_t start = 0;  // the name's date and time read as UTC, seconds since 1970
  // The broken-down date and time after normalisation by the UTC conversion.
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  RecordTypeMask typeMask = 0;
  int channel = -1;  // -1 for KRV; for AVI the name's channel number - 1, 0 when absent or below 1
};

// Reads name (a file name, not a path) up to its first '.'. Fields the name
// does not supply stay 0.
RecordName ParseRecordName(std::string_view name, RecordKind kind);

}  // namespace corvane
