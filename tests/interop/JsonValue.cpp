// SPDX-License-Identifier: MIT
#include "JsonValue.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace covrilo::test {
namespace {

// Deep nesting never occurs in the dumps; the bound keeps a broken input from exhausting the stack.
constexpr int kMaxDepth = 64;

class Parser {
   public:
    explicit Parser(std::string_view Text) : text_(Text) {}

    JsonValue Document() {
        JsonValue value = Value(0);
        SkipBlanks();
        if (pos_ != text_.size()) Fail("trailing text");
        return value;
    }

   private:
    [[noreturn]] void Fail(const std::string& What) const {
        throw JsonError("JSON: " + What + " at offset " + std::to_string(pos_));
    }

    void SkipBlanks() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }

    char Peek() {
        SkipBlanks();
        if (pos_ >= text_.size()) Fail("unexpected end");
        return text_[pos_];
    }

    void Expect(char C) {
        if (Peek() != C) Fail(std::string("expected '") + C + "'");
        ++pos_;
    }

    bool TakeWord(std::string_view Word) {
        if (Word.size() > text_.size() - pos_ || text_.substr(pos_, Word.size()) != Word) return false;
        pos_ += Word.size();
        return true;
    }

    JsonValue Value(int Depth) {
        if (Depth > kMaxDepth) Fail("nesting too deep");
        char c = Peek();
        if (c == '{') return ObjectValue(Depth);
        if (c == '[') return ArrayValue(Depth);
        if (c == '"') return JsonValue(String());
        if (TakeWord("true")) return JsonValue(true);
        if (TakeWord("false")) return JsonValue(false);
        if (TakeWord("null")) return JsonValue();
        if (c == '-' || (c >= '0' && c <= '9')) return JsonValue(Number());
        Fail("unexpected character");
    }

    JsonValue ObjectValue(int Depth) {
        Expect('{');
        JsonValue::Object members;
        if (Peek() == '}') {
            ++pos_;
            return JsonValue(std::move(members));
        }
        for (;;) {
            if (Peek() != '"') Fail("expected a member name");
            std::string key = String();
            Expect(':');
            members.insert_or_assign(std::move(key), Value(Depth + 1));
            char c = Peek();
            ++pos_;
            if (c == '}') break;
            if (c != ',') Fail("expected ',' or '}'");
        }
        return JsonValue(std::move(members));
    }

    JsonValue ArrayValue(int Depth) {
        Expect('[');
        JsonValue::Array elements;
        if (Peek() == ']') {
            ++pos_;
            return JsonValue(std::move(elements));
        }
        for (;;) {
            elements.push_back(Value(Depth + 1));
            char c = Peek();
            ++pos_;
            if (c == ']') break;
            if (c != ',') Fail("expected ',' or ']'");
        }
        return JsonValue(std::move(elements));
    }

    double Number() {
        size_t start = pos_;
        while (pos_ < text_.size() &&
               std::string_view("+-.eE0123456789").find(text_[pos_]) != std::string_view::npos)
            ++pos_;
        std::string digits(text_.substr(start, pos_ - start));
        char* end = nullptr;
        double value = std::strtod(digits.c_str(), &end);
        if (end != digits.c_str() + digits.size() || !std::isfinite(value)) Fail("bad number");
        return value;
    }

    unsigned Hex4() {
        if (4 > text_.size() - pos_) Fail("short \\u escape");
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            char c = text_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else
                Fail("bad \\u escape");
        }
        return value;
    }

    static void AppendUtf8(std::string& Out, unsigned Cp) {
        if (Cp < 0x80) {
            Out += static_cast<char>(Cp);
        } else if (Cp < 0x800) {
            Out += static_cast<char>(0xC0 | (Cp >> 6));
            Out += static_cast<char>(0x80 | (Cp & 0x3F));
        } else if (Cp < 0x10000) {
            Out += static_cast<char>(0xE0 | (Cp >> 12));
            Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
            Out += static_cast<char>(0x80 | (Cp & 0x3F));
        } else {
            Out += static_cast<char>(0xF0 | (Cp >> 18));
            Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
            Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
            Out += static_cast<char>(0x80 | (Cp & 0x3F));
        }
    }

    std::string String() {
        Expect('"');
        std::string out;
        for (;;) {
            if (pos_ >= text_.size()) Fail("unterminated string");
            char c = text_[pos_++];
            if (c == '"') break;
            if (static_cast<unsigned char>(c) < 0x20) Fail("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) Fail("unterminated escape");
            char e = text_[pos_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    // A dump of a damaged UTF-16 tag may hold a lone surrogate; it reads as
                    // U+FFFD so that the rest of the dump stays usable.
                    unsigned cp = Hex4();
                    if (cp >= 0xD800 && cp < 0xDC00 && 6 <= text_.size() - pos_ &&
                        text_.substr(pos_, 2) == "\\u") {
                        const size_t save = pos_;
                        pos_ += 2;
                        unsigned low = Hex4();
                        if (low >= 0xDC00 && low <= 0xDFFF)
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        else
                            pos_ = save;
                    }
                    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
                    AppendUtf8(out, cp);
                    break;
                }
                default:
                    Fail("bad escape");
            }
        }
        return out;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

void DumpString(std::string& Out, const std::string& S) {
    Out += '"';
    for (char c : S) {
        if (c == '"' || c == '\\') {
            Out += '\\';
            Out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            Out += buf;
        } else {
            Out += c;
        }
    }
    Out += '"';
}

void DumpValue(std::string& Out, const JsonValue& V) {
    if (V.IsNull())
        Out += "null";
    else if (V.IsBool())
        Out += V.Bool() ? "true" : "false";
    else if (V.IsNumber()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", V.Number());
        Out += buf;
    } else if (V.IsString())
        DumpString(Out, V.Str());
    else if (V.IsArray()) {
        Out += '[';
        bool first = true;
        for (const auto& e : V.Arr()) {
            if (!first) Out += ',';
            first = false;
            DumpValue(Out, e);
        }
        Out += ']';
    } else {
        Out += '{';
        bool first = true;
        for (const auto& [k, e] : V.Obj()) {
            if (!first) Out += ',';
            first = false;
            DumpString(Out, k);
            Out += ':';
            DumpValue(Out, e);
        }
        Out += '}';
    }
}

}  // namespace

JsonValue JsonValue::Parse(std::string_view Text) { return Parser(Text).Document(); }

std::string JsonValue::TypeName() const {
    if (IsNull()) return "null";
    if (IsBool()) return "bool";
    if (IsNumber()) return "number";
    if (IsString()) return "string";
    if (IsArray()) return "array";
    return "object";
}

bool JsonValue::Bool() const {
    if (!IsBool()) throw JsonError("JSON: expected bool, found " + TypeName());
    return std::get<bool>(value_);
}

double JsonValue::Number() const {
    if (!IsNumber()) throw JsonError("JSON: expected number, found " + TypeName());
    return std::get<double>(value_);
}

int64_t JsonValue::Int() const {
    double d = Number();
    if (d != std::floor(d) || std::fabs(d) > 9.0e15)
        throw JsonError("JSON: expected an integer, found " + Dump());
    return static_cast<int64_t>(d);
}

const std::string& JsonValue::Str() const {
    if (!IsString()) throw JsonError("JSON: expected string, found " + TypeName());
    return std::get<std::string>(value_);
}

const JsonValue::Array& JsonValue::Arr() const {
    if (!IsArray()) throw JsonError("JSON: expected array, found " + TypeName());
    return std::get<Array>(value_);
}

const JsonValue::Object& JsonValue::Obj() const {
    if (!IsObject()) throw JsonError("JSON: expected object, found " + TypeName());
    return std::get<Object>(value_);
}

const JsonValue& JsonValue::operator[](const std::string& Key) const {
    static const JsonValue kNull;
    const Object& members = Obj();
    auto it = members.find(Key);
    return it == members.end() ? kNull : it->second;
}

const JsonValue& JsonValue::operator[](size_t Index) const {
    const Array& elements = Arr();
    if (Index >= elements.size())
        throw JsonError("JSON: index " + std::to_string(Index) + " out of range (size " +
                        std::to_string(elements.size()) + ")");
    return elements[Index];
}

bool JsonValue::Has(const std::string& Key) const { return Obj().count(Key) != 0; }

size_t JsonValue::Size() const { return IsArray() ? Arr().size() : Obj().size(); }

std::vector<std::string> JsonValue::Strings() const {
    std::vector<std::string> out;
    for (const auto& e : Arr()) out.push_back(e.Str());
    return out;
}

std::string JsonValue::Dump() const {
    std::string out;
    DumpValue(out, *this);
    return out;
}

}  // namespace covrilo::test
