// A small JSON reader for tests that check files we write against a reading of their own:
// objects, arrays, strings (escapes other than \" and \\ are kept as written), numbers, true,
// false and null.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace json {

struct Value {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  double number = 0;
  bool boolean = false;
  std::string text;
  std::vector<Value> items;
  std::map<std::string, Value> members;

  const Value& operator[](const std::string& key) const {
    static const Value none;
    auto it = members.find(key);
    return it == members.end() ? none : it->second;
  }
  const Value& operator[](size_t i) const { return items.at(i); }
  bool Has(const std::string& key) const { return members.count(key) > 0; }
  int Int() const { return int(number); }
  size_t Size() const { return kind == kArray ? items.size() : members.size(); }
};

class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}
  // False when the text is not one JSON value followed only by white space.
  bool Read(Value* out) {
    if (!Parse(out)) return false;
    Skip();
    return at_ == s_.size();
  }

 private:
  void Skip() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  bool Literal(const char* word) {
    const std::string w(word);
    if (s_.compare(at_, w.size(), w) != 0) return false;
    at_ += w.size();
    return true;
  }
  bool String(std::string* out) {
    if (s_[at_] != '"') return false;
    for (++at_; at_ < s_.size(); ++at_) {
      if (s_[at_] == '"') return ++at_, true;
      if (s_[at_] == '\\' && at_ + 1 < s_.size()) ++at_;
      out->push_back(s_[at_]);
    }
    return false;
  }
  bool Parse(Value* v) {
    Skip();
    if (at_ >= s_.size()) return false;
    const char c = s_[at_];
    if (c == '{') {
      v->kind = Value::kObject;
      ++at_;
      Skip();
      if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
      for (;;) {
        Skip();
        std::string key;
        if (at_ >= s_.size() || !String(&key)) return false;
        Skip();
        if (at_ >= s_.size() || s_[at_++] != ':') return false;
        if (!Parse(&v->members[key])) return false;
        Skip();
        if (at_ >= s_.size()) return false;
        if (s_[at_] == '}') return ++at_, true;
        if (s_[at_++] != ',') return false;
      }
    }
    if (c == '[') {
      v->kind = Value::kArray;
      ++at_;
      Skip();
      if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
      for (;;) {
        v->items.emplace_back();
        if (!Parse(&v->items.back())) return false;
        Skip();
        if (at_ >= s_.size()) return false;
        if (s_[at_] == ']') return ++at_, true;
        if (s_[at_++] != ',') return false;
      }
    }
    if (c == '"') return v->kind = Value::kString, String(&v->text);
    if (Literal("true")) return v->kind = Value::kBool, v->boolean = true, true;
    if (Literal("false")) return v->kind = Value::kBool, true;
    if (Literal("null")) return true;
    char* end = nullptr;
    v->number = std::strtod(s_.c_str() + at_, &end);
    if (end == s_.c_str() + at_) return false;
    v->kind = Value::kNumber;
    at_ = size_t(end - s_.c_str());
    return true;
  }

  const std::string& s_;
  size_t at_ = 0;
};

}  // namespace json
