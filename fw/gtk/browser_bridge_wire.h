#pragma once
// The wire between the web-process extension and the UI process that answers page script's
// window.external synchronously.
//
// A connected UNIX stream socket, one per web process. The extension sends a request and
// blocks until the answer with the same sequence number has come back; the UI process
// answers requests in the order they arrive. Every message is a frame: a 32-bit
// little-endian length, then that many bytes of payload (at least 1, at most kMaxFrame).
//
//   request  := u8 kind, u32 seq, u64 page,
//               [kind == Query: u8 mainFrame (0/1), u8 sameOrigin (0/1), bytes frameUrl, bytes topUrl]
//               [kind == Call: string name, u32 argc, value*argc]
//   response := u32 seq, u8 status, value
//   value    := u8 tag, then: Bool u8 (0/1) | Int i32 | Double f64 (IEEE bits as u64) |
//               String string | nothing for Undefined, Null and Object
//   string   := u32 count of UTF-16 units, the units (u16 each); embedded NULs and unpaired
//               surrogates travel as they are
//   bytes    := u32 count, that many bytes (UTF-8 text, as the engine gives addresses)
//
// All integers are little-endian. A decoder answers false for anything malformed: unknown
// kinds, statuses or tags, lengths that run past the payload, bytes left over at the end.
// Header-only, so that the extension (a separate shared library) needs nothing else.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fw::gtk::bridge {

// Large enough for any text a page hands the client, small enough that a broken peer cannot
// make the other side allocate without bound.
inline constexpr std::uint32_t kMaxFrame = 64u << 20;

enum class Kind : std::uint8_t {
    Query = 1,  // does this frame of the page get a window.external?
    Call = 2,   // window.external.NAME(args...)
};

enum class Status : std::uint8_t {
    Ok = 0,           // Query: the page has an external object; Call: value is the result
    NoExternal = 1,   // no such page, or it has no external object (the call gives undefined)
    UnknownName = 2,  // the external object does not know the name (the call throws)
    Failed = 3,       // the call failed; value may hold a message (the call throws)
};

enum class Tag : std::uint8_t { Undefined = 0, Null = 1, Bool = 2, Int = 3, Double = 4, String = 5, Object = 6 };

struct Value {
    Tag tag = Tag::Undefined;
    bool b = false;
    std::int32_t i = 0;
    double d = 0;
    std::u16string s;

    static Value Undefined() { return {}; }
    static Value Null() {
        Value v;
        v.tag = Tag::Null;
        return v;
    }
    static Value Object() {
        Value v;
        v.tag = Tag::Object;
        return v;
    }
    static Value Bool(bool x) {
        Value v;
        v.tag = Tag::Bool;
        v.b = x;
        return v;
    }
    static Value Int(std::int32_t x) {
        Value v;
        v.tag = Tag::Int;
        v.i = x;
        return v;
    }
    static Value Double(double x) {
        Value v;
        v.tag = Tag::Double;
        v.d = x;
        return v;
    }
    static Value String(std::u16string x) {
        Value v;
        v.tag = Tag::String;
        v.s = std::move(x);
        return v;
    }
};

struct Request {
    Kind kind = Kind::Query;
    std::uint32_t seq = 0;
    std::uint64_t page = 0;
    // Query only: who asks. The page's top-level document, or a frame: whether it may script
    // the top-level document (the same origin), and both documents' origins as script
    // serialises them ("http://host:port"; "null" for an opaque one).
    bool mainFrame = true;
    bool sameOrigin = false;
    std::string frameUrl;
    std::string topUrl;
    std::u16string name;      // Call only
    std::vector<Value> args;  // Call only, in script order
};

struct Response {
    std::uint32_t seq = 0;
    Status status = Status::NoExternal;
    Value value;
};

namespace detail {

class Writer {
public:
    Writer() { out_.assign(4, '\0'); }  // room for the length
    void U8(std::uint8_t v) {
        if (Room(1)) out_.push_back(static_cast<char>(v));
    }
    void U32(std::uint32_t v) {
        for (int k = 0; k < 4; ++k) U8(static_cast<std::uint8_t>(v >> (8 * k)));
    }
    void U64(std::uint64_t v) {
        for (int k = 0; k < 8; ++k) U8(static_cast<std::uint8_t>(v >> (8 * k)));
    }
    void Units(const std::u16string& s) {
        if (s.size() > kMaxFrame / 2) {
            big_ = true;
            return;
        }
        U32(static_cast<std::uint32_t>(s.size()));
        if (!Room(s.size() * 2)) return;
        for (char16_t c : s) {
            out_.push_back(static_cast<char>(c & 0xFF));
            out_.push_back(static_cast<char>(c >> 8));
        }
    }
    void Bytes(const std::string& s) {
        if (s.size() > kMaxFrame) {
            big_ = true;
            return;
        }
        U32(static_cast<std::uint32_t>(s.size()));
        if (Room(s.size())) out_ += s;
    }
    void Val(const Value& v) {
        U8(static_cast<std::uint8_t>(v.tag));
        switch (v.tag) {
        case Tag::Bool: U8(v.b ? 1 : 0); break;
        case Tag::Int: U32(static_cast<std::uint32_t>(v.i)); break;
        case Tag::Double: {
            std::uint64_t bits;
            std::memcpy(&bits, &v.d, sizeof bits);
            U64(bits);
            break;
        }
        case Tag::String: Units(v.s); break;
        default: break;
        }
    }
    // The finished frame; false when the payload is larger than a frame may be.
    bool Finish(std::string& frame) {
        std::size_t n = out_.size() - 4;
        if (big_ || n == 0 || n > kMaxFrame) return false;
        for (int k = 0; k < 4; ++k) out_[k] = static_cast<char>((n >> (8 * k)) & 0xFF);
        frame.swap(out_);
        return true;
    }

private:
    // Stops writing once the payload could no longer fit in a frame.
    bool Room(std::size_t k) {
        if (big_ || out_.size() - 4 + k > kMaxFrame) big_ = true;
        return !big_;
    }
    std::string out_;
    bool big_ = false;
};

class Reader {
public:
    Reader(const void* p, std::size_t n) : p_(static_cast<const std::uint8_t*>(p)), n_(n) {}
    bool ok() const { return ok_; }
    bool AtEnd() const { return ok_ && n_ == 0; }
    std::size_t left() const { return n_; }
    std::uint8_t U8() {
        if (!Need(1)) return 0;
        std::uint8_t v = p_[0];
        Skip(1);
        return v;
    }
    std::uint32_t U32() {
        if (!Need(4)) return 0;
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v |= static_cast<std::uint32_t>(p_[k]) << (8 * k);
        Skip(4);
        return v;
    }
    std::uint64_t U64() {
        if (!Need(8)) return 0;
        std::uint64_t v = 0;
        for (int k = 0; k < 8; ++k) v |= static_cast<std::uint64_t>(p_[k]) << (8 * k);
        Skip(8);
        return v;
    }
    bool Units(std::u16string& s) {
        std::uint32_t count = U32();
        if (!ok_ || count > n_ / 2) return Fail();
        s.resize(count);
        for (std::uint32_t k = 0; k < count; ++k) s[k] = static_cast<char16_t>(p_[2 * k] | (p_[2 * k + 1] << 8));
        Skip(static_cast<std::size_t>(count) * 2);
        return true;
    }
    bool Bytes(std::string& s) {
        std::uint32_t count = U32();
        if (!ok_ || count > n_) return Fail();
        s.assign(reinterpret_cast<const char*>(p_), count);
        Skip(count);
        return true;
    }
    bool Val(Value& v) {
        std::uint8_t tag = U8();
        if (!ok_) return false;
        v = Value{};
        switch (static_cast<Tag>(tag)) {
        case Tag::Undefined:
        case Tag::Null:
        case Tag::Object: v.tag = static_cast<Tag>(tag); return true;
        case Tag::Bool: {
            std::uint8_t b = U8();
            if (!ok_ || b > 1) return Fail();
            v.tag = Tag::Bool;
            v.b = b == 1;
            return true;
        }
        case Tag::Int:
            v.tag = Tag::Int;
            v.i = static_cast<std::int32_t>(U32());
            return ok_;
        case Tag::Double: {
            std::uint64_t bits = U64();
            v.tag = Tag::Double;
            std::memcpy(&v.d, &bits, sizeof bits);
            return ok_;
        }
        case Tag::String: v.tag = Tag::String; return Units(v.s);
        }
        return Fail();
    }

private:
    bool Need(std::size_t k) {
        if (ok_ && n_ >= k) return true;
        return Fail();
    }
    void Skip(std::size_t k) {
        p_ += k;
        n_ -= k;
    }
    bool Fail() {
        ok_ = false;
        return false;
    }
    const std::uint8_t* p_;
    std::size_t n_;
    bool ok_ = true;
};

}  // namespace detail

// The payload length announced by a frame header (4 bytes); 0 or more than kMaxFrame is a
// broken peer.
inline std::uint32_t FrameLength(const void* header) {
    const auto* p = static_cast<const std::uint8_t*>(header);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline bool FrameLengthValid(std::uint32_t n) { return n >= 1 && n <= kMaxFrame; }

// Whole frames (length included). False when the message does not fit in a frame.
inline bool EncodeRequest(const Request& rq, std::string& frame) {
    detail::Writer w;
    w.U8(static_cast<std::uint8_t>(rq.kind));
    w.U32(rq.seq);
    w.U64(rq.page);
    if (rq.kind == Kind::Query) {
        w.U8(rq.mainFrame ? 1 : 0);
        w.U8(rq.sameOrigin ? 1 : 0);
        w.Bytes(rq.frameUrl);
        w.Bytes(rq.topUrl);
    } else if (rq.kind == Kind::Call) {
        w.Units(rq.name);
        w.U32(static_cast<std::uint32_t>(rq.args.size()));
        for (const Value& v : rq.args) w.Val(v);
    }
    return w.Finish(frame);
}

inline bool EncodeResponse(const Response& rs, std::string& frame) {
    detail::Writer w;
    w.U32(rs.seq);
    w.U8(static_cast<std::uint8_t>(rs.status));
    w.Val(rs.value);
    return w.Finish(frame);
}

// Payloads (without the length).
inline bool DecodeRequest(const void* payload, std::size_t n, Request& rq) {
    detail::Reader r(payload, n);
    rq = Request{};
    std::uint8_t kind = r.U8();
    rq.seq = r.U32();
    rq.page = r.U64();
    if (!r.ok()) return false;
    if (kind == static_cast<std::uint8_t>(Kind::Query)) {
        rq.kind = Kind::Query;
        const std::uint8_t main = r.U8();
        const std::uint8_t same = r.U8();
        if (!r.ok() || main > 1 || same > 1) return false;
        rq.mainFrame = main == 1;
        rq.sameOrigin = same == 1;
        return r.Bytes(rq.frameUrl) && r.Bytes(rq.topUrl) && r.AtEnd();
    }
    if (kind != static_cast<std::uint8_t>(Kind::Call)) return false;
    rq.kind = Kind::Call;
    if (!r.Units(rq.name)) return false;
    std::uint32_t argc = r.U32();
    if (!r.ok() || argc > r.left()) return false;  // every value takes a byte at least
    rq.args.resize(argc);
    for (Value& v : rq.args)
        if (!r.Val(v)) return false;
    return r.AtEnd();
}

inline bool DecodeResponse(const void* payload, std::size_t n, Response& rs) {
    detail::Reader r(payload, n);
    rs = Response{};
    rs.seq = r.U32();
    std::uint8_t status = r.U8();
    if (!r.ok() || status > static_cast<std::uint8_t>(Status::Failed)) return false;
    rs.status = static_cast<Status>(status);
    if (!r.Val(rs.value)) return false;
    return r.AtEnd();
}

}  // namespace fw::gtk::bridge
