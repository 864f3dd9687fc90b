#include "neat/io/json_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "neat/io/neat_io.h"

namespace qf::io {

using nlohmann::json;

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
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out_.append(buffer, r.ptr);
  }
}

void JsonWriter::Single(float v) {
  if (!std::isfinite(v)) {
    Double(v);
    return;
  }
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  // The reader parses a double and rounds it to single. That double rounding could in
  // principle miss the single the shortest form names; then the exact value is written.
  const double read = std::strtod(std::string(buffer, r.ptr).c_str(), nullptr);
  if (static_cast<float>(read) == v) {
    out_.append(buffer, r.ptr);
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
const char* TypeName(const json& v) {
  switch (v.type()) {
    case json::value_t::null: return "null";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return "an integer";
    case json::value_t::number_float: return "a number";
    default: return "something else";
  }
}
}  // namespace

void JsonAt::RequireObject(std::initializer_list<std::string_view> allowed) const {
  if (!value_.is_object()) Fail(std::string("expected an object, found ") + TypeName(value_));
  for (const auto& item : value_.items()) {
    bool known = false;
    for (std::string_view a : allowed) known = known || a == item.key();
    if (!known) Fail("unknown key \"" + item.key() + "\"");
  }
}

JsonAt JsonAt::operator[](const char* key) const {
  const auto it = value_.find(key);
  if (it == value_.end()) Fail(std::string("missing \"") + key + "\"");
  return JsonAt(*it, this, key, -1);
}

size_t JsonAt::ArraySize() const {
  if (!value_.is_array()) Fail(std::string("expected an array, found ") + TypeName(value_));
  return value_.size();
}

size_t JsonAt::ArraySize(size_t exact) const {
  const size_t n = ArraySize();
  if (n != exact) {
    Fail("expected " + std::to_string(exact) + " values, found " + std::to_string(n));
  }
  return n;
}

int64_t JsonAt::Integer(int64_t min, int64_t max) const {
  int64_t v = 0;
  if (value_.is_number_unsigned()) {
    const uint64_t u = value_.get<uint64_t>();
    if (u > static_cast<uint64_t>(max)) {
      Fail(value_.dump() + " is out of range " + std::to_string(min) + " .. " + std::to_string(max));
    }
    v = static_cast<int64_t>(u);
  } else if (value_.is_number_integer()) {
    v = value_.get<int64_t>();
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
  if (value_.is_number()) return value_.get<double>();
  if (value_.is_string()) {
    const std::string& s = value_.get_ref<const std::string&>();
    if (s == "nan") return std::numeric_limits<double>::quiet_NaN();
    if (s == "inf") return std::numeric_limits<double>::infinity();
    if (s == "-inf") return -std::numeric_limits<double>::infinity();
  }
  Fail(std::string("expected a number, found ") + TypeName(value_));
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
  if (!value_.is_boolean()) Fail(std::string("expected true or false, found ") + TypeName(value_));
  return value_.get<bool>();
}

const std::string& JsonAt::String() const {
  if (!value_.is_string()) Fail(std::string("expected a string, found ") + TypeName(value_));
  return value_.get_ref<const std::string&>();
}

json ParseJson(std::string_view text) {
  try {
    return json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    // The library's text names the byte, line and column.
    std::string reason = e.what();
    const auto cut = reason.find("] ");
    if (cut != std::string::npos) reason = reason.substr(cut + 2);
    throw EFormatError("not valid JSON (truncated or corrupt): " + reason);
  }
}

void CheckEnvelope(const JsonAt& root, const char* format) {
  if (!root.Value().is_object()) root.Fail("expected an object, found something else");
  const std::string& found = root["Format"].String();
  if (found != format) {
    root["Format"].Fail("this is a \"" + found + "\" file, not a \"" + format + "\" file");
  }
  const int32_t version = root["Version"].Int32();
  if (version != kFormatVersion) {
    root["Version"].Fail("format version " + std::to_string(version) +
                         " is not supported (this program reads version " +
                         std::to_string(kFormatVersion) + ")");
  }
}

}  // namespace qf::io
