#include "vehicle/amf_record.h"

#include <cstring>

namespace vehicle {

int AmfCursor::ReadByte() {
  if (left_ <= 0) return -1;
  --left_;
  return *p_++;
}

bool AmfCursor::ReadU16(uint32_t* v) {
  if (left_ < 2) return false;
  *v = static_cast<uint32_t>(p_[0]) << 8 | p_[1];
  p_ += 2;
  left_ -= 2;
  return true;
}

bool AmfCursor::ReadU32(uint32_t* v) {
  if (left_ < 4) return false;
  *v = static_cast<uint32_t>(p_[0]) << 24 | static_cast<uint32_t>(p_[1]) << 16 | static_cast<uint32_t>(p_[2]) << 8 |
       p_[3];
  p_ += 4;
  left_ -= 4;
  return true;
}

bool AmfCursor::ReadU64(uint64_t* v) {
  if (left_ < 8) return false;
  uint32_t hi = 0, lo = 0;
  ReadU32(&hi);
  ReadU32(&lo);
  *v = static_cast<uint64_t>(hi) << 32 | lo;
  return true;
}

int AmfCursor::ReadString(char* buf) {
  uint32_t len = 0;
  if (!ReadU16(&len)) return -1;
  if (len > static_cast<uint32_t>(left_)) return -1;
  if (len >= static_cast<uint32_t>(kAmfStringLimit)) return -2;
  std::memcpy(buf, p_, len);
  buf[len] = '\0';
  p_ += len;
  left_ -= static_cast<int>(len);
  return static_cast<int>(len);
}

bool AmfCursor::Skip(uint32_t n) {
  if (n > static_cast<uint32_t>(left_)) return false;
  p_ += n;
  left_ -= static_cast<int>(n);
  return true;
}

namespace {

// Walks one value (type byte first). `key` is null for values walked without
// a key. `nameOut` receives the text of a top-level string.
bool walkValue(AmfCursor& c, const char* key, AmfVisitor* visitor, int depth, char* nameOut) {
  if (depth > kAmfMaxDepth) return false;
  const int type = c.ReadByte();
  AmfValue value;
  value.type = type;
  char text[kAmfStringLimit];
  switch (type) {
    case kAmfNumber: {
      uint64_t bits = 0;
      if (!c.ReadU64(&bits)) return false;
      std::memcpy(&value.number, &bits, sizeof value.number);
      break;
    }
    case kAmfBoolean:
      value.boolean = c.ReadByte();
      if (value.boolean < 0) return false;
      break;
    case kAmfString: {
      int n = c.ReadString(text);
      if (n < 0) return false;
      value.text = text;
      value.textLength = n;
      if (nameOut) std::memcpy(nameOut, text, static_cast<size_t>(n) + 1);
      break;
    }
    case kAmfObject:
      for (;;) {
        uint32_t keyLength = 0;
        if (!c.ReadU16(&keyLength)) return false;
        if (keyLength == 0) {
          if (c.ReadByte() != kAmfObjectEnd) return false;
          break;
        }
        if (!c.Skip(keyLength)) return false;
        if (!walkValue(c, nullptr, visitor, depth + 1, nullptr)) return false;
      }
      break;
    case kAmfNull:
    case kAmfUndefined:
    case kAmfUnsupported:
      break;
    case kAmfEcmaArray: {
      if (!c.Skip(4)) return false;  // entry count, not used
      char name[kAmfStringLimit];
      for (;;) {
        int n = c.ReadString(name);
        // A key that cannot be read, or one of 256 bytes or more, abandons
        // the record.
        if (n < 0) return false;
        if (n == 0) {
          if (c.ReadByte() != kAmfObjectEnd) return false;
          break;
        }
        if (!walkValue(c, name, visitor, depth + 1, nullptr)) return false;
      }
      break;
    }
    case kAmfStrictArray: {
      uint32_t count = 0;
      if (!c.ReadU32(&count)) return false;
      // Every value takes at least its type byte, so a count larger than
      // what remains ends in an error after at most that many values.
      for (uint32_t i = 0; i < count; ++i)
        if (!walkValue(c, nullptr, visitor, depth + 1, nullptr)) return false;
      break;
    }
    case kAmfDate:
      if (!c.Skip(10)) return false;
      break;
    default:
      return false;
  }
  if (key && visitor) visitor->OnKeyedValue(key, value);
  return true;
}

}  // namespace

bool WalkRecord(const unsigned char* data, int size, AmfVisitor* visitor, char* name) {
  if (name) name[0] = '\0';
  AmfCursor c(data, size);
  bool first = true;
  while (c.Remaining() > 0) {
    if (!walkValue(c, nullptr, visitor, 0, first ? name : nullptr)) return false;
    first = false;
  }
  return true;
}

}  // namespace vehicle
