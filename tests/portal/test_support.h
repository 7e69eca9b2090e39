// Shared by the portal's tests and the chat library's tests: a strict JSON reader for the
// portal's answers and the portal's server on a thread of the test process.
#pragma once

#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "options.h"
#include "server.h"

namespace portal {

// ---------------------------------------------------------------------------
// A minimal JSON reader, strict where the log's escaping matters: raw control
// characters inside strings are rejected.
struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> fields;

    const Json& operator[](const std::string& key) const {
        static const Json kMissing;
        for (const auto& [k, v] : fields) {
            if (k == key) return v;
        }
        return kMissing;
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view s) : s_(s) {}
    bool Read(Json* out) {
        if (!Value(out)) return false;
        Space();
        return i_ == s_.size();
    }

private:
    void Space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    bool Value(Json* v) {
        Space();
        if (i_ >= s_.size()) return false;
        const char c = s_[i_];
        if (c == '"') {
            v->kind = Json::kString;
            return String(&v->text);
        }
        if (c == '[') {
            v->kind = Json::kArray;
            ++i_;
            Space();
            if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
            for (;;) {
                v->items.emplace_back();
                if (!Value(&v->items.back())) return false;
                Space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
                return false;
            }
        }
        if (c == '{') {
            v->kind = Json::kObject;
            ++i_;
            Space();
            if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
            for (;;) {
                std::string key;
                Space();
                if (i_ >= s_.size() || s_[i_] != '"' || !String(&key)) return false;
                Space();
                if (i_ >= s_.size() || s_[i_++] != ':') return false;
                v->fields.emplace_back(key, Json());
                if (!Value(&v->fields.back().second)) return false;
                Space();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    continue;
                }
                if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
                return false;
            }
        }
        for (const char* word : {"null", "true", "false"}) {
            if (s_.substr(i_, std::strlen(word)) == word) {
                v->kind = word[0] == 'n' ? Json::kNull : Json::kBool;
                v->number = word[0] == 't';  // a boolean reads as 1 or 0
                i_ += std::strlen(word);
                return true;
            }
        }
        const size_t start = i_;
        while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || std::strchr("+-.eE", s_[i_]))) {
            ++i_;
        }
        if (start == i_ || (s_[start] == '0' && i_ > start + 1 && s_[start + 1] != '.')) {
            return false;  // no number, or a leading zero
        }
        v->kind = Json::kNumber;
        v->number = std::stod(std::string(s_.substr(start, i_ - start)));
        return true;
    }
    static void Utf8(uint32_t cp, std::string* out) {
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    bool Hex4(uint32_t* out) {
        if (i_ + 4 > s_.size()) return false;
        *out = std::stoul(std::string(s_.substr(i_, 4)), nullptr, 16);
        i_ += 4;
        return true;
    }
    bool String(std::string* out) {
        ++i_;  // opening quote
        while (i_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out->push_back(static_cast<char>(c));
                continue;
            }
            if (i_ >= s_.size()) return false;
            const char e = s_[i_++];
            const char* simple = std::strchr("\"\\/bfnrt", e);
            if (simple && e) {
                out->push_back("\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"]);
            } else if (e == 'u') {
                uint32_t cp = 0;
                if (!Hex4(&cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    uint32_t low = 0;
                    if (s_.substr(i_, 2) != "\\u") return false;
                    i_ += 2;
                    if (!Hex4(&low)) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                Utf8(cp, out);
            } else {
                return false;
            }
        }
        return false;
    }

    std::string_view s_;
    size_t i_ = 0;
};

inline Json ParseJson(const std::string& text) {
    Json v;
    EXPECT_TRUE(JsonReader(text).Read(&v)) << "not valid JSON: " << text;
    return v;
}

// ---------------------------------------------------------------------------
// The server on a thread of the test process.
class RunningServer {
public:
    explicit RunningServer(Options options = {}) : server_(std::move(options)) {
        std::string error;
        port_ = server_.Bind(&error);
        EXPECT_GT(port_, 0) << error;
        thread_ = std::thread([this] { server_.Listen(); });
    }
    ~RunningServer() {
        server_.Stop();
        thread_.join();
    }
    int port() const { return port_; }
    Server& server() { return server_; }
    std::unique_ptr<httplib::Client> Client() const {
        auto c = std::make_unique<httplib::Client>("127.0.0.1", port_);
        c->set_read_timeout(10, 0);
        return c;
    }

private:
    Server server_;
    int port_ = -1;
    std::thread thread_;
};

}  // namespace portal
