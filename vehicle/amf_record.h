// Walking a vehicle data record: an AMF0 string naming the record, then one
// AMF0 ECMA array of named values. Every read is bounded by the bytes left in
// the payload and nesting is capped, so a hostile record ends in an error and
// never in a read past its end.
#pragma once

#include <cstdint>

namespace vehicle {

// AMF0 type bytes the walker knows.
enum AmfType : int {
  kAmfNumber = 0,
  kAmfBoolean = 1,
  kAmfString = 2,
  kAmfObject = 3,
  kAmfNull = 5,
  kAmfUndefined = 6,
  kAmfEcmaArray = 8,
  kAmfObjectEnd = 9,
  kAmfStrictArray = 10,
  kAmfDate = 11,
  kAmfUnsupported = 13,
};

// A record payload never exceeds this many bytes (the queues' slot size);
// strings of this many bytes or more are refused.
constexpr int kRecordCapacity = 256;
constexpr int kAmfStringLimit = 256;
// Objects, arrays and strict arrays nested deeper than this are an error.
constexpr int kAmfMaxDepth = 16;

// A cursor over a payload with the count of bytes that remain.
class AmfCursor {
 public:
  AmfCursor(const unsigned char* data, int size) : p_(data), left_(data && size > 0 ? size : 0) {}
  int Remaining() const { return left_; }
  // -1 when nothing remains, else the byte, consumed.
  int ReadByte();
  // False (nothing consumed) when fewer bytes remain than the value needs.
  bool ReadU16(uint32_t* v);
  bool ReadU32(uint32_t* v);
  bool ReadU64(uint64_t* v);
  // A 16-bit length L, then L bytes into buf (kAmfStringLimit bytes) with a
  // terminating zero: L; -1 when the length cannot be read or L exceeds what
  // remains; -2 when L is kAmfStringLimit or more (nothing further consumed).
  int ReadString(char* buf);
  // Consumes n bytes; false (nothing consumed) when fewer remain.
  bool Skip(uint32_t n);

 private:
  const unsigned char* p_;
  int left_;
};

// One value walked under a key of the record's top-level array (or of an
// ECMA array inside it). `text` is set for strings only, zero-terminated.
struct AmfValue {
  int type = -1;
  double number = 0;
  int boolean = 0;
  const char* text = nullptr;
  int textLength = 0;
};

class AmfVisitor {
 public:
  virtual ~AmfVisitor() = default;
  // A value walked under `key` (never called for values inside objects and
  // strict arrays, which are walked without a key).
  virtual void OnKeyedValue(const char* key, const AmfValue& value) = 0;
};

// Walks a payload as a sequence of values without a key until nothing
// remains. The record name (the first value when it is a string) is copied
// into name (kAmfStringLimit bytes) when name is not null. False on an error:
// values handed to the visitor before it stay handed.
bool WalkRecord(const unsigned char* data, int size, AmfVisitor* visitor, char* name);

}  // namespace vehicle
