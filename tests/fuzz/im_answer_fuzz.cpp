// Fuzzes the chat library's reading of the customer-service server's answers (the register and
// poll answers: the session instance, the agent messages' numbers) and its form encoding. The
// first byte chooses the case and, for a poll, the cursor. It traps when:
// - an instance is taken from an answer whose first line is not "ok <instance>", or is not
//   that line's rest;
// - a poll answer gives a message that is not one of its "m <seq>" lines, not above the cursor
//   or not above the message before, or leaves the cursor elsewhere than at the last one;
// - a number is taken that is not plain decimal digits within 64 bits;
// - form-encoded text holds other than unreserved characters and %XX, or does not decode to
//   the bytes it was made from.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "supportim/protocol.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `s` is plain decimal digits whose value fits in 64 bits.
bool IsSeq(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsDigit(c)) return false;
    while (s.size() > 1 && s.front() == '0') s.remove_prefix(1);
    return s.size() < 20 || (s.size() == 20 && s <= "18446744073709551615");
}

void CheckInstance(std::string_view body) {
    const std::string instance = supportim::InstanceOf(body);
    const std::string_view first = body.substr(0, body.find('\n'));
    if (instance.empty()) {
        FUZZ_CHECK(first.size() <= 3 || first.substr(0, 3) != "ok ");
    } else {
        FUZZ_CHECK(first.substr(0, 3) == "ok " && first.substr(3) == instance);
    }
}

void CheckPoll(std::string_view body, std::uint64_t cursor) {
    std::set<std::uint64_t> lines;  // the numbers of the answer's message lines
    for (std::size_t pos = 0; pos <= body.size();) {
        const std::size_t nl = body.find('\n', pos);
        const std::string_view line =
            body.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        std::uint64_t seq = 0;
        if (line.substr(0, 2) == "m " && IsSeq(line.substr(2)) && supportim::ParseSeq(line.substr(2), &seq))
            lines.insert(seq);
        if (nl == std::string_view::npos) break;
        pos = nl + 1;
    }
    const std::uint64_t from = cursor;
    const auto seqs = supportim::NewMessages(body, cursor);
    std::uint64_t last = from;
    for (std::uint64_t seq : seqs) {
        FUZZ_CHECK(seq > last && lines.count(seq) == 1);
        last = seq;
    }
    FUZZ_CHECK(cursor == last);
    if (!lines.empty() && *lines.rbegin() > from) FUZZ_CHECK(!seqs.empty());
}

void CheckSeq(std::string_view s) {
    std::uint64_t n = 7;
    const bool ok = supportim::ParseSeq(s, &n);
    FUZZ_CHECK(ok == IsSeq(s));
    if (ok) {
        std::string_view digits = s;
        while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
        FUZZ_CHECK(std::to_string(n) == digits);
    }
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void CheckFormEncode(const std::string& bytes) {
    const std::string enc = supportim::FormEncode(bytes);
    std::string back;
    for (std::size_t i = 0; i < enc.size(); ++i) {
        const char c = enc[i];
        if (c == '%') {
            FUZZ_CHECK(i + 2 < enc.size());
            const int hi = HexValue(enc[i + 1]), lo = HexValue(enc[i + 2]);
            FUZZ_CHECK(hi >= 0 && lo >= 0);
            back += static_cast<char>(hi * 16 + lo);
            i += 2;
            continue;
        }
        FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '-' || c == '.' || c == '_' ||
                   c == '~');
        back += c;
    }
    FUZZ_CHECK(back == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: CheckInstance(text); break;
    case 1: CheckPoll(text, data[0] / 4); break;  // a small cursor, so that most lines count
    case 2: CheckSeq(text); break;
    default: CheckFormEncode(text); break;
    }
    return 0;
}
