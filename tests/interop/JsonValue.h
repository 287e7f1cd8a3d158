// SPDX-License-Identifier: MIT
// A small JSON reader for the dumps of the peer checkers (mutagen_dump.py, taglib_dump).
// Only what those dumps need: objects, arrays, strings (UTF-8, \u escapes with surrogate
// pairs), numbers, true/false/null. Not a general-purpose library.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace covrilo::test {

class JsonError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

class JsonValue {
   public:
    using Array = std::vector<JsonValue>;
    using Object = std::map<std::string, JsonValue>;

    JsonValue() = default;
    explicit JsonValue(bool Value) : value_(Value) {}
    explicit JsonValue(double Value) : value_(Value) {}
    explicit JsonValue(std::string Value) : value_(std::move(Value)) {}
    explicit JsonValue(Array Value) : value_(std::move(Value)) {}
    explicit JsonValue(Object Value) : value_(std::move(Value)) {}

    // Parses a whole document; trailing non-blank text is an error.
    static JsonValue Parse(std::string_view Text);

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsBool() const { return std::holds_alternative<bool>(value_); }
    bool IsNumber() const { return std::holds_alternative<double>(value_); }
    bool IsString() const { return std::holds_alternative<std::string>(value_); }
    bool IsArray() const { return std::holds_alternative<Array>(value_); }
    bool IsObject() const { return std::holds_alternative<Object>(value_); }

    // Typed access; the wrong type throws JsonError naming what was found.
    bool Bool() const;
    double Number() const;
    int64_t Int() const;  // the number must be integral
    const std::string& Str() const;
    const Array& Arr() const;
    const Object& Obj() const;

    // Object member; a missing member reads as null so that optional parts can be tested
    // with IsNull(). Throws when this is not an object.
    const JsonValue& operator[](const std::string& Key) const;
    // Array element; throws when out of range or not an array.
    const JsonValue& operator[](size_t Index) const;
    bool Has(const std::string& Key) const;
    size_t Size() const;  // elements of an array or members of an object

    // Strings of an array of strings (the "text" of a frame, the values of an item).
    std::vector<std::string> Strings() const;

    // Compact text form, for failure messages.
    std::string Dump() const;

   private:
    std::string TypeName() const;
    std::variant<std::monostate, bool, double, std::string, Array, Object> value_;
};

}  // namespace covrilo::test
