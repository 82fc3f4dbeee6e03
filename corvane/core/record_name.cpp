#include "record_name.h"

#include <ctime>

namespace corvane {

int RecordTypeImage(RecordTypeMask mask) {
  return ((mask & kTypeManual) ? 8 : 0) | ((mask & kTypeTiming) ? 4 : 0) | ((mask & kTypeMotion) ? 2 : 0) |
         ((mask & kTypeAlarm) ? 1 : 0);
}

namespace {

// The fields are read as the C library's sscanf reads the formats
//   KRV "%04d%02d%02d%02d%02d%02d_%01x%01x%01x%01x"
//   AVI "%04d%02d%02d%02d%02d%02d_%01x%01x%01x%01x_%02d"
// (the catalogue scans every file name of a folder, and sscanf costs more
// than the rest of a name's handling together). A conversion skips white
// space, which does not count in its width; an optional sign counts in it;
// then come digits while the width lasts. A conversion that reads no digit,
// or an '_' that is not there, ends the scan: the fields after it stay 0.
class FieldScanner {
 public:
  explicit FieldScanner(std::string_view text) : s_(text) {}

  // %0Nd: a decimal field of at most `width` characters, sign included.
  bool Decimal(int width, int* out) { return Number(width, 10, out); }

  // %01x: one hexadecimal digit (a sign would use up the width).
  bool HexDigit(unsigned* out) {
    int v = 0;
    if (!Number(1, 16, &v)) return false;
    *out = static_cast<unsigned>(v);
    return true;
  }

  bool Literal(char c) {
    if (i_ >= s_.size() || s_[i_] != c) return false;
    ++i_;
    return true;
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

  static int DigitValue(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // width is at most 4 here, so the value cannot overflow.
  bool Number(int width, int base, int* out) {
    while (i_ < s_.size() && IsSpace(s_[i_])) ++i_;
    bool negative = false;
    if (i_ < s_.size() && (s_[i_] == '-' || s_[i_] == '+')) {
      negative = s_[i_] == '-';
      ++i_;
      --width;
    }
    int value = 0;
    int digits = 0;
    for (; width > 0 && i_ < s_.size(); --width, ++i_, ++digits) {
      int d = DigitValue(s_[i_], base);
      if (d < 0) break;
      value = value * base + d;
    }
    if (digits == 0) return false;
    *out = negative ? -value : value;
    return true;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

int DecimalDigit(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The fields of a name as a recorder writes it: fourteen digits, '_', four
// hexadecimal digits and, for AVI, '_' and two digits. Every field is then
// exactly its width of plain digits, which is what the scanner would read
// from them, without its look for white space and signs at each field.
// False, with nothing written, for any other name (the scanner reads it).
bool ReadPlainFields(std::string_view s, RecordKind kind, int f[6], unsigned t[4], int* channel) {
  const std::size_t need = kind == RecordKind::Avi ? 22 : 19;
  if (s.size() < need || s[14] != '_' || (kind == RecordKind::Avi && s[19] != '_')) return false;
  int digits[14];
  for (int i = 0; i < 14; ++i)
    if ((digits[i] = DecimalDigit(s[static_cast<std::size_t>(i)])) < 0) return false;
  int types[4];
  for (int k = 0; k < 4; ++k)
    if ((types[k] = HexDigitValue(s[15 + static_cast<std::size_t>(k)])) < 0) return false;
  int ch = 0;
  if (kind == RecordKind::Avi) {
    const int hi = DecimalDigit(s[20]), lo = DecimalDigit(s[21]);
    if (hi < 0 || lo < 0) return false;
    ch = hi * 10 + lo;
  }
  f[0] = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
  for (int k = 1; k < 6; ++k) f[k] = digits[2 + 2 * k] * 10 + digits[3 + 2 * k];
  for (int k = 0; k < 4; ++k) t[k] = static_cast<unsigned>(types[k]);
  if (kind == RecordKind::Avi) *channel = ch;
  return true;
}

// Days from 1970-01-01 to year-month-day of the proleptic Gregorian calendar
// (month 1-12, day 1-31).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;                                         // [0, 399]
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;                    // [0, 146096]
  return era * 146097 + doe - 719468;
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

RecordName ParseRecordName(std::string_view name, RecordKind kind) {
  // The name with every "." cut off: everything before the first one. A name
  // holding a NUL byte ends there as well.
  std::string_view base = name.substr(0, name.find('.'));
  base = base.substr(0, base.find('\0'));
  int f[6] = {0, 0, 0, 0, 0, 0};
  unsigned t[4] = {0, 0, 0, 0};
  int channel = 0;
  FieldScanner scan(base);
  if (!ReadPlainFields(base, kind, f, t, &channel)) {
    (void)(scan.Decimal(4, &f[0]) && scan.Decimal(2, &f[1]) && scan.Decimal(2, &f[2]) && scan.Decimal(2, &f[3]) &&
           scan.Decimal(2, &f[4]) && scan.Decimal(2, &f[5]) && scan.Literal('_') && scan.HexDigit(&t[0]) &&
           scan.HexDigit(&t[1]) && scan.HexDigit(&t[2]) && scan.HexDigit(&t[3]) && kind == RecordKind::Avi &&
           scan.Literal('_') && scan.Decimal(2, &channel));
  }

  RecordName r;
  if (f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= DaysInMonth(f[0], f[1]) && f[3] >= 0 && f[3] <= 23 &&
      f[4] >= 0 && f[4] <= 59 && f[5] >= 0 && f[5] <= 59) {
    // A real date and time (the names a recorder writes): what the UTC
    // conversion gives, without its normalisation.
    r.start = DaysFromCivil(f[0], f[1], f[2]) * 86400 + f[3] * 3600 + f[4] * 60 + f[5];
    r.year = f[0];
    r.month = f[1];
    r.day = f[2];
    r.hour = f[3];
    r.minute = f[4];
    r.second = f[5];
  } else {
    std::tm tm{};
    tm.tm_year = f[0] - 1900;
    tm.tm_mon = f[1] - 1;
    tm.tm_mday = f[2];
    tm.tm_hour = f[3];
    tm.tm_min = f[4];
    tm.tm_sec = f[5];
    tm.tm_isdst = 0;
    r.start = static_cast<int64_t>(::timegm(&tm));  // normalises tm as well
    r.year = tm.tm_year + 1900;
    r.month = tm.tm_mon + 1;
    r.day = tm.tm_mday;
    r.hour = tm.tm_hour;
    r.minute = tm.tm_min;
    r.second = tm.tm_sec;
  }
  // One hexadecimal digit each, so each is 0..15.
  r.typeMask = (t[0] << 24) | (t[1] << 16) | (t[2] << 8) | t[3];
  r.channel = kind == RecordKind::Krv ? -1 : (channel >= 1 ? channel - 1 : 0);
  return r;
}

}  // namespace corvane
