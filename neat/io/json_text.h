#pragma once
// The text side of the format: a writer that lays the JSON out one gene per line with numbers
// in their shortest exact form, and a reader's view of a parsed JSON value that knows where it
// is, so every refusal can name its place. Internal to the io library.
//
// Reading parses with simdjson: a checkpoint of 300 genomes is half a megabyte of numbers, and
// a tree of nlohmann values alone took longer than the whole load may. nlohmann-json escapes
// the strings written and, for a text that does not parse, tells the line and column.

#include <simdjson.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qf::io {

// Appends JSON text to a string. Doubles are written in the shortest form that reads back to
// the same bits; infinities and not-a-number, which JSON lacks, as the strings "inf", "-inf"
// and "nan". Singles in the shortest form that reads back to the same single.
class JsonWriter {
public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void Raw(std::string_view text) { out_.append(text); }
  void Newline(int indent) {
    out_.push_back('\n');
    out_.append(static_cast<size_t>(indent) * 2, ' ');
  }
  void String(std::string_view s);
  void Int(int64_t v);
  void Double(double v);
  void Single(float v);
  void Bool(bool v) { out_.append(v ? "true" : "false"); }
  // "key": at the given indent on a new line, with a comma before unless first.
  void Key(std::string_view key, int indent, bool first);

private:
  std::string& out_;
};

// A double as the writer puts it, for messages.
std::string NumberText(double v);

// A JSON value inside a document and the way to it. Paths are built only when a refusal
// names one, so reading costs no string work per gene. Valid while its document lives.
class JsonAt {
public:
  JsonAt(simdjson::dom::element value, std::string_view root)
      : value_(value), parent_(nullptr), key_(root), index_(-1) {}

  std::string Path() const;
  [[noreturn]] void Fail(const std::string& problem) const;

  // Object access. The object must hold exactly the keys allowed: a misspelt key is refused
  // rather than silently ignored.
  void RequireObject(std::initializer_list<std::string_view> allowed) const;
  void RequireObject(const std::vector<std::string_view>& allowed) const;
  std::vector<std::string_view> Keys() const;  // the value must be an object
  bool Has(const char* key) const;
  JsonAt operator[](const char* key) const;  // the key must be present
  JsonAt operator[](std::string_view key) const;
  // Array access.
  size_t ArraySize() const;  // the value must be an array
  size_t ArraySize(size_t exact) const;
  JsonAt At(size_t index) const;

  bool IsNull() const { return value_.is_null(); }
  int32_t Int32() const;
  int32_t Int32(int32_t min, int32_t max) const;
  uint32_t UInt32() const;
  double Double() const;  // infinities and not-a-number too, as the writer puts them
  double Finite(double min = -HUGE_VAL, double max = HUGE_VAL) const;
  float Single() const;
  bool Bool() const;
  std::string_view String() const;

private:
  JsonAt(simdjson::dom::element value, const JsonAt* parent, std::string_view key, int64_t index)
      : value_(value), parent_(parent), key_(key), index_(index) {}
  int64_t Integer(int64_t min, int64_t max) const;
  simdjson::dom::object Object() const;
  simdjson::dom::array Array() const;

  simdjson::dom::element value_;
  const JsonAt* parent_;
  std::string_view key_;
  int64_t index_;
  // Items are read in order: the last one reached, so the next is one step on.
  mutable simdjson::dom::array::iterator next_{};
  mutable size_t nextIndex_ = 0;
};

// A parsed text; its root is "$". A syntax error or a truncated text is refused with the line
// and column.
class JsonDocument {
public:
  explicit JsonDocument(const std::string& text);
  JsonAt Root() const { return JsonAt(root_, "$"); }

private:
  simdjson::dom::parser parser_;
  simdjson::dom::element root_;
};

// What a reader takes in at most, checked while the bytes come in and before any tree is built,
// so that no file can make a load run long or take much memory.
// A checkpoint of the XOR host's 150 genomes is half a megabyte, the game's 30 genomes a fifth of
// that: 64 MiB holds populations of tens of thousands of such genomes, and parsing it takes
// well under a gigabyte.
inline constexpr size_t kMaxTextBytes = size_t{64} << 20;
// The format nests 7 levels at most (a species' representative's network state).
inline constexpr int kMaxNesting = 16;

// Follows the brackets of a JSON text arriving in pieces, outside strings, and refuses one that
// nests deeper than kMaxNesting with the line and column where it does.
class NestingCheck {
public:
  // text holds everything read so far; the part from `from` on is new.
  void Scan(const std::string& text, size_t from);

private:
  int depth_ = 0;
  bool inString_ = false;
  bool escaped_ = false;
};

// Checks the envelope: the "Format" name and the "Version".
void CheckEnvelope(const JsonAt& root, const char* format);

}  // namespace qf::io
