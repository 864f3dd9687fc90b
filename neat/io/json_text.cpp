#include "neat/io/json_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "base/numbers.h"
#include "neat/io/build.h"
#include "neat/io/neat_io.h"

namespace qf::io {

using nlohmann::json;

static_assert(kTextPadding >= simdjson::SIMDJSON_PADDING);

void JsonWriter::String(std::string_view s) {
  // Names are the registry's and the host's own; the library escapes whatever they hold.
  bool plain = true;
  for (char c : s) {
    if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ||
        static_cast<unsigned char>(c) >= 0x80) {
      plain = false;
      break;
    }
  }
  if (plain) {
    out_.push_back('"');
    out_.append(s);
    out_.push_back('"');
  } else {
    // Invalid UTF-8 is replaced rather than thrown: saving never fails on a name.
    out_.append(json(std::string(s)).dump(-1, ' ', false, json::error_handler_t::replace));
  }
}

void JsonWriter::Int(int64_t v) {
  char buffer[24];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  out_.append(buffer, r.ptr);
}

void JsonWriter::Double(double v) {
  if (std::isnan(v)) {
    out_.append("\"nan\"");
  } else if (std::isinf(v)) {
    out_.append(v > 0 ? "\"inf\"" : "\"-inf\"");
  } else if (v == 0.0 && std::signbit(v)) {
    out_.append("-0.0");  // "-0" would read back as the integer 0 and lose its sign
  } else {
    const size_t start = out_.size();
    AppendShortest(out_, v);
    // A whole number of more than 15 digits goes in scientific form: beyond 64 bits it would
    // not read as an integer.
    if (out_.size() - start > 15 && out_.find_first_of(".e", start) == std::string::npos) {
      out_.resize(start);
      AppendShortest(out_, v, true);
    }
  }
}

void JsonWriter::Single(float v) {
  if (!std::isfinite(v)) {
    Double(v);
    return;
  }
  std::string text;
  AppendShortest(text, v);
  // The reader parses a double and rounds it to single. That double rounding could in
  // principle miss the single the shortest form names; then the exact value is written.
  const double read = std::strtod(text.c_str(), nullptr);
  if (static_cast<float>(read) == v) {
    out_.append(text);
  } else {
    Double(static_cast<double>(v));
  }
}

void JsonWriter::Key(std::string_view key, int indent, bool first) {
  if (!first) out_.push_back(',');
  Newline(indent);
  String(key);
  out_.append(": ");
}

std::string JsonAt::Path() const {
  std::string head = parent_ ? parent_->Path() : std::string();
  if (index_ >= 0) return head + "[" + std::to_string(index_) + "]";
  if (!parent_) return std::string(key_);
  return head + "." + std::string(key_);
}

void JsonAt::Fail(const std::string& problem) const { throw EFormatError(Path() + ": " + problem); }

namespace {
using simdjson::dom::element_type;

const char* TypeName(simdjson::dom::element v) {
  switch (v.type()) {
    case element_type::NULL_VALUE: return "null";
    case element_type::OBJECT: return "an object";
    case element_type::ARRAY: return "an array";
    case element_type::STRING: return "a string";
    case element_type::BOOL: return "a boolean";
    case element_type::INT64:
    case element_type::UINT64: return "an integer";
    case element_type::DOUBLE: return "a number";
  }
  return "something else";
}
}  // namespace

simdjson::dom::object JsonAt::Object() const {
  simdjson::dom::object object;
  if (value_.get_object().get(object)) Fail(std::string("expected an object, found ") + TypeName(value_));
  return object;
}

simdjson::dom::array JsonAt::Array() const {
  simdjson::dom::array array;
  if (value_.get_array().get(array)) Fail(std::string("expected an array, found ") + TypeName(value_));
  return array;
}

void JsonAt::RequireObject(std::initializer_list<std::string_view> allowed) const {
  RequireObject(std::vector<std::string_view>(allowed));
}

void JsonAt::RequireObject(const std::vector<std::string_view>& allowed) const {
  for (const auto field : Object()) {
    if (std::find(allowed.begin(), allowed.end(), field.key) == allowed.end()) {
      Fail("unknown key \"" + std::string(field.key) + "\"");
    }
  }
}

std::vector<std::string_view> JsonAt::Keys() const {
  std::vector<std::string_view> keys;
  for (const auto field : Object()) keys.push_back(field.key);
  return keys;
}

bool JsonAt::Has(const char* key) const {
  simdjson::dom::element found;
  return !Object().at_key(key).get(found);
}

JsonAt JsonAt::operator[](const char* key) const { return (*this)[std::string_view(key)]; }

JsonAt JsonAt::operator[](std::string_view key) const {
  simdjson::dom::element found;
  if (Object().at_key(key).get(found)) Fail("missing \"" + std::string(key) + "\"");
  return JsonAt(found, this, key, -1);
}

size_t JsonAt::ArraySize() const { return Array().size(); }

size_t JsonAt::ArraySize(size_t exact) const {
  const size_t n = ArraySize();
  if (n != exact) {
    Fail("expected " + std::to_string(exact) + " values, found " + std::to_string(n));
  }
  return n;
}

JsonAt JsonAt::At(size_t index) const {
  if (index == 0 || index != nextIndex_) {
    const simdjson::dom::array array = Array();
    if (index >= array.size()) Fail("has no item " + std::to_string(index));
    next_ = array.begin();
    for (nextIndex_ = 0; nextIndex_ < index; ++nextIndex_) ++next_;
  }
  const simdjson::dom::element item = *next_;
  ++next_;
  ++nextIndex_;
  return JsonAt(item, this, std::string_view(), static_cast<int64_t>(index));
}

int64_t JsonAt::Integer(int64_t min, int64_t max) const {
  int64_t v = 0;
  if (value_.type() == element_type::UINT64) {
    const uint64_t u = value_.get_uint64().value_unsafe();
    if (u > static_cast<uint64_t>(max)) {
      Fail(std::to_string(u) + " is out of range " + std::to_string(min) + " .. " + std::to_string(max));
    }
    v = static_cast<int64_t>(u);
  } else if (value_.type() == element_type::INT64) {
    v = value_.get_int64().value_unsafe();
  } else {
    Fail(std::string("expected an integer, found ") + TypeName(value_));
  }
  if (v < min || v > max) {
    Fail(std::to_string(v) + " is out of range " + std::to_string(min) + " .. " +
         std::to_string(max));
  }
  return v;
}

int32_t JsonAt::Int32() const {
  return static_cast<int32_t>(
      Integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t JsonAt::Int32(int32_t min, int32_t max) const {
  return static_cast<int32_t>(Integer(min, max));
}

uint32_t JsonAt::UInt32() const {
  return static_cast<uint32_t>(Integer(0, std::numeric_limits<uint32_t>::max()));
}

double JsonAt::Double() const {
  switch (value_.type()) {
    case element_type::DOUBLE: return value_.get_double().value_unsafe();
    case element_type::INT64: return static_cast<double>(value_.get_int64().value_unsafe());
    case element_type::UINT64: return static_cast<double>(value_.get_uint64().value_unsafe());
    case element_type::STRING: {
      const std::string_view s = value_.get_string().value_unsafe();
      if (s == "nan") return std::numeric_limits<double>::quiet_NaN();
      if (s == "inf") return std::numeric_limits<double>::infinity();
      if (s == "-inf") return -std::numeric_limits<double>::infinity();
      break;
    }
    default: break;
  }
  Fail(std::string("expected a number, found ") + TypeName(value_));
}

std::string NumberText(double v) {
  std::string text;
  JsonWriter(text).Double(v);
  return text;
}

double JsonAt::Finite(double min, double max) const {
  const double v = Double();
  if (!std::isfinite(v)) Fail("expected a finite number, found " + NumberText(v));
  if (v < min) Fail(NumberText(v) + " is below " + NumberText(min));
  if (v > max) Fail(NumberText(v) + " is above " + NumberText(max));
  return v;
}

float JsonAt::Single() const {
  const double v = Double();
  // Anything below the midpoint between the largest single and 2^128 rounds to a finite one.
  if (std::isfinite(v) && !(std::fabs(v) < 0x1.ffffffp127)) {
    Fail("outside the single-precision range");
  }
  return static_cast<float>(v);
}

bool JsonAt::Bool() const {
  bool b = false;
  if (value_.get_bool().get(b)) Fail(std::string("expected true or false, found ") + TypeName(value_));
  return b;
}

std::string_view JsonAt::String() const {
  std::string_view s;
  if (value_.get_string().get(s)) Fail(std::string("expected a string, found ") + TypeName(value_));
  return s;
}

void NestingCheck::Scan(const std::string& text, size_t from) {
  const char* const data = text.c_str();
  const size_t n = text.size();
  // Locals, so that the loop keeps them in registers.
  int depth = depth_;
  bool inString = inString_;
  bool escaped = escaped_;
  for (size_t i = from; i < n; ++i) {
    if (escaped) {
      escaped = false;
      continue;
    }
    // Numbers and blanks are nearly all of a file: the C library passes over them fastest. It
    // stops at the terminating NUL too, or at one within the text (not JSON; refused later).
    i += std::strcspn(data + i, "\"\\[]{}");
    if (i >= n) break;
    const char c = data[i];
    if (inString) {
      if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) {
        const size_t lineStart = text.rfind('\n', i) + 1;  // 0 on the first line
        const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(i), '\n');
        throw EFormatError("nested more than " + std::to_string(kMaxNesting) +
                           " levels deep at line " + std::to_string(line) + ", column " +
                           std::to_string(i - lineStart + 1) + "; no genome file or checkpoint is");
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  depth_ = depth;
  inString_ = inString;
  escaped_ = escaped;
}

namespace {
// Finds where a text stops being JSON without building anything of it.
struct NoTree : nlohmann::json_sax<json> {
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    error = e.what();
    return false;
  }
  std::string error;
};
}  // namespace

JsonDocument::JsonDocument(const std::string& text) {
  // In place when the string has the padding behind it (ReadAll leaves room), else copied.
  const bool padded = text.capacity() - text.size() >= simdjson::SIMDJSON_PADDING;
  const simdjson::error_code error = parser_.parse(text.data(), text.size(), !padded).get(root_);
  if (!error) return;
  // simdjson says what is wrong but not where; nlohmann's parser finds the place.
  NoTree sax;
  if (!json::sax_parse(text.begin(), text.end(), &sax)) {
    std::string reason = sax.error;
    const auto cut = reason.find("] ");
    if (cut != std::string::npos) reason = reason.substr(cut + 2);
    throw EFormatError("not valid JSON (truncated or corrupt): " + reason);
  }
  // JSON, but beyond what this format holds (a number out of range, nesting too deep).
  throw EFormatError(std::string("not readable: ") + simdjson::error_message(error));
}

void CheckEnvelope(const JsonAt& root, const char* format) {
  root.Keys();  // an object
  const std::string_view found = root["Format"].String();
  if (found != format) {
    root["Format"].Fail("this is a \"" + std::string(found) + "\" file, not a \"" + format + "\" file");
  }
  const int32_t version = root["Version"].Int32();
  if (version != kFormatVersion) {
    root["Version"].Fail("format version " + std::to_string(version) +
                         " is not supported (this program reads version " +
                         std::to_string(kFormatVersion) + ")");
  }
}

}  // namespace qf::io
