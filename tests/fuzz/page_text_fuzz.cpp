// Fuzzes the texts that pages and the portal hand the client: the launcher page's OpenGame text
// (split into its fields), its ShowIM customer-service list (the seven service fields, in the
// system's character set: the C locale's ASCII or UTF-8 as the first byte chooses) and the
// heartbeat's answer. It traps when:
// - the OpenGame fields are not the pieces of the text between its bars;
// - a service field is not the text between its bars in the system's character set, or the
//   list is taken or refused otherwise than by whether it has a bar;
// - the heartbeat goes on without a "1" in the answer, or stops with one.
#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "game/chat_library.h"
#include "fw/text.h"
#include "game/heartbeat.h"
#include "web/web_dlg.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void CheckOpenGame(const std::string& text) {
    std::string f1 = "x", f2 = "x", f3 = "x";
    CWebDlg::SplitOpenGame(text, f1, f2, f3);
    const std::size_t bars = static_cast<std::size_t>(std::count(text.begin(), text.end(), '|'));
    FUZZ_CHECK(f1.find('|') == std::string::npos || bars == 0);
    FUZZ_CHECK(f2.find('|') == std::string::npos);
    if (bars == 0)
        FUZZ_CHECK(f1 == text && f2.empty() && f3.empty());
    else if (bars == 1)
        FUZZ_CHECK(f2.empty() && f1 + "|" + f3 == text);
    else
        FUZZ_CHECK(f1 + "|" + f2 + "|" + f3 == text);
}

void CheckServiceList(const std::string& list, bool utf8) {
    chat::ServiceFields fields;
    fields.fill("untouched");
    const bool taken = chat::ParseServiceList(list, fields);
    FUZZ_CHECK(taken == (list.find('|') != std::string::npos));
    if (!taken) {
        for (const std::string& f : fields) FUZZ_CHECK(f == "untouched");
        return;
    }
    std::size_t from = 0;
    for (const std::string& f : fields) {
        const std::size_t bar = from == std::string::npos ? std::string::npos : list.find('|', from);
        if (bar == std::string::npos) {
            FUZZ_CHECK(f.empty());
            from = std::string::npos;
            continue;
        }
        const std::string raw = list.substr(from, bar - from);
        from = bar + 1;
        FUZZ_CHECK(f == fw::Utf8ToSystem(raw));
        FUZZ_CHECK(f.find('|') == std::string::npos);
        if (utf8) {
            FUZZ_CHECK(fw::SanitizeUtf8(f) == f);
        } else {
            FUZZ_CHECK(f.size() <= raw.size());
            for (char c : f) FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
        }
    }
}

void CheckHeartbeatAnswer(const std::string& answer) {
    const bool goesOn = Heartbeat::AnswerGoesOn(answer);
    FUZZ_CHECK(goesOn == (std::memchr(answer.data(), '1', answer.size()) != nullptr));
    // Whatever follows an answer that lets it go on does not stop it.
    if (goesOn) FUZZ_CHECK(Heartbeat::AnswerGoesOn(answer + "0\n"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: CheckOpenGame(text); break;
    case 1:
        std::setlocale(LC_ALL, "C");
        CheckServiceList(text, false);
        break;
    case 2:
        std::setlocale(LC_ALL, "C.UTF-8");
        CheckServiceList(text, true);
        break;
    default: CheckHeartbeatAnswer(text); break;
    }
    return 0;
}
