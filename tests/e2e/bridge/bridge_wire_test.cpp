// The bridge's wire format: what goes in comes out, and no malformed frame is taken for a
// message (both ends read from a socket the other end may have broken).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "fw/gtk/browser_bridge_wire.h"

namespace wire = fw::gtk::bridge;

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL %s\n", what);
        ++g_failures;
    }
}

bool SameValue(const wire::Value& a, const wire::Value& b) {
    if (a.tag != b.tag) return false;
    switch (a.tag) {
    case wire::Tag::Bool: return a.b == b.b;
    case wire::Tag::Int: return a.i == b.i;
    case wire::Tag::Double: return std::memcmp(&a.d, &b.d, sizeof a.d) == 0;  // bit for bit: -0 and NaN too
    case wire::Tag::String: return a.s == b.s;
    default: return true;
    }
}

std::string Payload(const std::string& frame) { return frame.substr(4); }

wire::Request SampleCall() {
    wire::Request rq;
    rq.kind = wire::Kind::Call;
    rq.seq = 0xFFFFFFFEu;
    rq.page = 0x0123456789ABCDEFull;
    rq.name = u"WD_JAPI";
    rq.args = {wire::Value::String(std::u16string(u"a\0b", 3) + char16_t(0xD800) + u"\u4E2D"),
               wire::Value::Int(-2147483647 - 1),
               wire::Value::Double(-0.0),
               wire::Value::Double(std::nan("")),
               wire::Value::Bool(true),
               wire::Value::Null(),
               wire::Value::Undefined(),
               wire::Value::Object(),
               wire::Value::String(u"")};
    return rq;
}

void RoundTrips() {
    wire::Request rq = SampleCall();
    std::string frame;
    Check(wire::EncodeRequest(rq, frame), "encode call");
    Check(wire::FrameLength(frame.data()) == frame.size() - 4, "frame length");
    wire::Request back;
    std::string p = Payload(frame);
    Check(wire::DecodeRequest(p.data(), p.size(), back), "decode call");
    Check(back.kind == rq.kind && back.seq == rq.seq && back.page == rq.page && back.name == rq.name, "call header");
    bool same = back.args.size() == rq.args.size();
    for (std::size_t k = 0; same && k < rq.args.size(); ++k) same = SameValue(back.args[k], rq.args[k]);
    Check(same, "call arguments (NULs, lone surrogates, -0, NaN)");

    wire::Request q;
    q.kind = wire::Kind::Query;
    q.page = 7;
    q.mainFrame = false;
    q.sameOrigin = true;
    q.frameUrl = std::string("http://ad.example/\xe5\xb9\xbf\0x", 23);
    q.topUrl = "http://portal.example/";
    Check(wire::EncodeRequest(q, frame), "encode query");
    p = Payload(frame);
    Check(wire::DecodeRequest(p.data(), p.size(), back) && back.kind == wire::Kind::Query && back.page == 7 &&
              !back.mainFrame && back.sameOrigin && back.frameUrl == q.frameUrl && back.topUrl == q.topUrl,
          "query round trip (the frame's and the page's addresses)");
    p[14] = 2;  // the flags are 0 or 1
    Check(!wire::DecodeRequest(p.data(), p.size(), back), "a query with a bad flag is refused");

    wire::Response rs;
    rs.seq = 9;
    rs.status = wire::Status::Failed;
    rs.value = wire::Value::String(u"boom");
    Check(wire::EncodeResponse(rs, frame), "encode response");
    wire::Response rback;
    p = Payload(frame);
    Check(wire::DecodeResponse(p.data(), p.size(), rback) && rback.seq == 9 && rback.status == wire::Status::Failed &&
              SameValue(rback.value, rs.value),
          "response round trip");
}

void Rejects() {
    std::string frame;
    wire::EncodeRequest(SampleCall(), frame);
    std::string p = Payload(frame);
    wire::Request rq;
    // Every shorter payload is incomplete; one byte more is left over.
    bool anyTaken = false;
    for (std::size_t n = 0; n < p.size(); ++n) anyTaken |= wire::DecodeRequest(p.data(), n, rq);
    Check(!anyTaken, "truncated call rejected");
    std::string longer = p + "x";
    Check(!wire::DecodeRequest(longer.data(), longer.size(), rq), "trailing byte rejected");

    std::string bad = p;
    bad[0] = 3;  // unknown kind
    Check(!wire::DecodeRequest(bad.data(), bad.size(), rq), "unknown kind rejected");

    // A name that claims more units than there are bytes.
    wire::Request call;
    call.kind = wire::Kind::Call;
    call.name = u"x";
    wire::EncodeRequest(call, frame);
    bad = Payload(frame);
    bad[13] = '\xFF';
    bad[14] = '\xFF';
    bad[15] = '\xFF';
    bad[16] = '\x7F';
    Check(!wire::DecodeRequest(bad.data(), bad.size(), rq), "oversized string count rejected");

    // An argument count far beyond the payload must fail before anything is allocated for it.
    std::string counted = Payload(frame);
    counted.resize(counted.size() - 4);
    counted += std::string("\xFF\xFF\xFF\xFF", 4);
    Check(!wire::DecodeRequest(counted.data(), counted.size(), rq), "oversized argument count rejected");

    // Unknown value tags and bad booleans.
    call.args = {wire::Value::Bool(true)};
    wire::EncodeRequest(call, frame);
    bad = Payload(frame);
    bad[bad.size() - 1] = 2;
    Check(!wire::DecodeRequest(bad.data(), bad.size(), rq), "boolean other than 0/1 rejected");
    bad[bad.size() - 2] = 42;
    Check(!wire::DecodeRequest(bad.data(), bad.size(), rq), "unknown tag rejected");

    wire::Response rs;
    wire::EncodeResponse(rs, frame);
    bad = Payload(frame);
    bad[4] = 9;
    wire::Response rback;
    Check(!wire::DecodeResponse(bad.data(), bad.size(), rback), "unknown status rejected");

    Check(!wire::FrameLengthValid(0) && !wire::FrameLengthValid(wire::kMaxFrame + 1) &&
              wire::FrameLengthValid(wire::kMaxFrame),
          "frame length limits");
}

void TooLarge() {
    wire::Request rq;
    rq.kind = wire::Kind::Call;
    rq.args = {wire::Value::String(std::u16string(wire::kMaxFrame / 2, u'x'))};
    std::string frame = "untouched";
    Check(!wire::EncodeRequest(rq, frame) && frame == "untouched", "oversized message not encoded");
}

// Random bytes never crash the decoders, and whatever they accept encodes back to the same
// bytes (nothing is half-read).
void Random() {
    std::mt19937 rng(12345);
    std::string frame;
    wire::EncodeRequest(SampleCall(), frame);
    const std::string base = Payload(frame);
    int accepted = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string p = base;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < flips; ++k) p[rng() % p.size()] = static_cast<char>(rng());
        if (rng() % 4 == 0) p.resize(rng() % (p.size() + 1));
        wire::Request rq;
        if (!wire::DecodeRequest(p.data(), p.size(), rq)) continue;
        ++accepted;
        std::string again;
        if (!wire::EncodeRequest(rq, again) || Payload(again) != p) {
            Check(false, "accepted random payload re-encodes to itself");
            return;
        }
    }
    std::printf("INFO random payloads accepted: %d of 200000\n", accepted);
}

}  // namespace

int main() {
    RoundTrips();
    Rejects();
    TooLarge();
    Random();
    std::printf("%s (%d failed)\n", g_failures ? "FAILED" : "ALL PASSED", g_failures);
    return g_failures ? 1 : 0;
}
