// The customer-service server's endpoints (listed in cs_server.h) over its state (cs_state.h).
#include "cs_server.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "cs_state.h"
#include "pages.h"
#include "request_log.h"

namespace portal {

using cs::Clock;
using cs::IsSid;
using cs::JsonReply;
using cs::kHtml;
using cs::kOffline;
using cs::kOnline;
using cs::ParseU64;
using cs::Plain;
using cs::Trim;
using cs::WaitMs;

CsServer::CsServer(std::string heartbeat_answer) : state_(std::make_unique<State>(std::move(heartbeat_answer))) {}

CsServer::~CsServer() { Shutdown(); }

void CsServer::Shutdown() {
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->shutting_down = true;
    state_->changed.notify_all();
}

std::string CsServer::Heartbeat(const std::string& user) {
    State& st = *state_;
    std::lock_guard<std::mutex> lock(st.mu);
    ++st.heartbeat_count;
    if (st.heartbeats.size() < kMaxSessions || st.heartbeats.count(user)) {
        State::HeartbeatCount& h = st.heartbeats[user];
        ++h.count;
        h.last = Clock::now();
    }
    st.Bump();
    return st.heartbeat_answer;
}

void CsServer::Register(httplib::Server& http) {
    State& st = *state_;
    using Req = const httplib::Request&;
    using Res = httplib::Response&;

    // ---- the chat library -------------------------------------------------------------------
    http.Post("/cs/api/register", [&st](Req req, Res res) {
        const std::string sid = req.get_param_value("sid");
        const std::string cs = req.get_param_value("charset");
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        if (!IsSid(sid) || req.get_param_value("account").empty()) return Plain(res, 400, "bad registration\n");
        State::Session* s = st.Find(sid);
        if (!s) {
            if (st.sessions.size() >= kMaxSessions) return Plain(res, 503, "too many sessions\n");
            s = &st.sessions[sid];
            s->sid = sid;
            s->instance = st.NewInstance();
        }
        auto field = [&](const char* name) { return DecodeToUtf8(req.get_param_value(name), cs); };
        s->account = field("account");
        s->service = field("service");
        s->user = field("user");
        s->game = field("game");
        s->fid = field("fid");
        s->f5 = field("f5");
        s->f6 = field("f6");
        s->f7 = field("f7");
        s->type = field("type");
        s->registered = true;
        s->last_library = Clock::now();
        st.Bump();
        Plain(res, 200, "ok " + s->instance + "\n");
    });

    http.Post("/cs/api/ask", [&st](Req req, Res res) {
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        State::Session* s = st.FindRegistered(req.get_param_value("sid"));
        if (!s) return Plain(res, 404, "unknown session\n");
        const std::string topic = DecodeToUtf8(req.get_param_value("prefix"), "GBK") +
                                  DecodeToUtf8(req.get_param_value("user"), req.get_param_value("charset"));
        s->topic = topic;
        s->last_library = Clock::now();
        if (s->phase == State::Phase::kIdle || s->phase == State::Phase::kEnded) {
            s->phase = State::Phase::kWaiting;
            s->Add("system", "ask", "", "玩家发起咨询：" + topic);
        }
        st.Bump();
        Plain(res, 200, "ok\n");
    });

    http.Post("/cs/api/link", [&st](Req req, Res res) {
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        State::Session* s = st.FindRegistered(req.get_param_value("sid"));
        if (!s) return Plain(res, 404, "unknown session\n");
        s->group = DecodeToUtf8(req.get_param_value("group"), req.get_param_value("charset"));
        s->linked = true;
        s->last_library = Clock::now();
        st.Bump();
        Plain(res, 200, "ok\n");
    });

    http.Get("/cs/api/poll", [&st](Req req, Res res) {
        const std::string sid = req.get_param_value("sid");
        uint64_t after = 0;
        ParseU64(req.get_param_value("after"), &after);
        const auto deadline = Clock::now() + std::chrono::milliseconds(WaitMs(req, 20000));
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        State::Session* s = st.FindRegistered(sid);
        if (!s) return Plain(res, 404, "unknown session\n");
        const std::string instance = s->instance;
        ++s->library_polls;
        s->last_library = Clock::now();
        // The session may go (a reset) while the poll is held: look it up again each time.
        st.WaitUntil(lock, deadline, [&] {
            State::Session* now = st.FindRegistered(sid);
            return !now || now->instance != instance || now->HasAgentMessageAfter(after) ||
                   st.mode == State::Mode::kDown;
        });
        if (State::Session* held = st.Find(sid); held && held->instance == instance) --held->library_polls;
        if (!st.ServiceAnswers(lock, res)) return;  // a stall keeps the poll without an answer
        s = st.FindRegistered(sid);
        if (!s || s->instance != instance) return Plain(res, 404, "unknown session\n");
        s->last_library = Clock::now();
        std::string body = "ok " + s->instance + "\n";
        for (const State::Message& m : s->messages) {
            if (m.seq > after && std::string_view(m.from) == "agent") body += "m " + std::to_string(m.seq) + "\n";
        }
        Plain(res, 200, body);
    });

    // ---- the player's chat page ---------------------------------------------------------------
    http.Get("/cs/chat/?", [&st](Req req, Res res) {
        const std::string sid = req.get_param_value("sid");
        std::string initial;
        {
            std::lock_guard<std::mutex> lock(st.mu);
            initial = st.PageJson(sid, 0);
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(CsChatPage(sid, initial), kHtml);
    });

    http.Get("/cs/page/poll", [&st](Req req, Res res) {
        const std::string sid = req.get_param_value("sid");
        uint64_t after = 0, seen = 0;
        ParseU64(req.get_param_value("after"), &after);
        ParseU64(req.get_param_value("v"), &seen);
        const auto deadline = Clock::now() + std::chrono::milliseconds(WaitMs(req, 15000));
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        auto mark = [&](int held) {
            if (State::Session* s = st.Find(sid)) {
                s->page_polls = std::max(0, s->page_polls + held);
                s->last_page = Clock::now();
            }
        };
        mark(+1);
        st.WaitUntil(lock, deadline, [&] { return st.version != seen || st.mode == State::Mode::kDown; });
        mark(-1);
        if (!st.ServiceAnswers(lock, res)) return;
        JsonReply(res, st.PageJson(sid, after));
    });

    http.Post("/cs/page/send", [&st](Req req, Res res) {
        const std::string text = Trim(req.get_param_value("text"));
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        State::Session* s = st.Find(req.get_param_value("sid"));
        if (!s) return Plain(res, 404, "unknown session\n");
        if (text.empty() || text.size() > kMaxTextBytes) return Plain(res, 400, "empty or too long\n");
        const std::string id = req.get_param_value("id");
        if (id.size() > kMaxIdBytes) return Plain(res, 400, "id too long\n");
        const uint64_t seq = st.AddOnce(*s, s->player_ids, id, "player", s->user, text);
        if (s->phase == State::Phase::kIdle || s->phase == State::Phase::kEnded) s->phase = State::Phase::kWaiting;
        st.Bump();
        JsonReply(res, "{\"seq\":" + std::to_string(seq) + "}\n");
    });

    http.Post("/cs/page/ask", [&st](Req req, Res res) {
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        State::Session* s = st.Find(req.get_param_value("sid"));
        if (!s) return Plain(res, 404, "unknown session\n");
        if (s->phase == State::Phase::kIdle || s->phase == State::Phase::kEnded) {
            s->phase = State::Phase::kWaiting;
            s->Add("system", "ask", "", "玩家再次发起咨询");
            st.Bump();
        }
        Plain(res, 200, "ok\n");
    });

    http.Post("/cs/page/read", [&st](Req req, Res res) {
        // "ordinal:seq,ordinal:seq,…"
        std::vector<std::pair<uint64_t, uint64_t>> receipts;
        const std::string list = req.get_param_value("read");
        for (size_t at = 0; at < list.size();) {
            size_t end = list.find(',', at);
            if (end == std::string::npos) end = list.size();
            const std::string item = list.substr(at, end - at);
            const size_t colon = item.find(':');
            uint64_t ordinal = 0, seq = 0;
            if (colon == std::string::npos || !ParseU64(item.substr(0, colon), &ordinal) ||
                !ParseU64(item.substr(colon + 1), &seq) || ordinal == 0 || receipts.size() >= kMaxMessages)
                return Plain(res, 400, "read is ordinal:seq,… (at most 500)\n");
            receipts.emplace_back(ordinal, seq);
            at = end + 1;
        }
        std::unique_lock<std::mutex> lock(st.mu);
        if (!st.ServiceAnswers(lock, res)) return;
        State::Session* s = st.Find(req.get_param_value("sid"));
        if (!s) return Plain(res, 404, "unknown session\n");
        for (const auto& [ordinal, seq] : receipts) {
            auto it = s->read.find(ordinal);
            if (it == s->read.end()) {
                if (s->read.size() >= kMaxReceipts) return Plain(res, 503, "too many receipts\n");
                s->read.emplace(ordinal, seq);
            } else if (it->second != seq) {
                ++s->read_conflicts;
            }
        }
        st.Bump();
        Plain(res, 200, "ok\n");
    });

    // ---- the agent ------------------------------------------------------------------------------
    http.Get("/cs/agent/?", [](Req, Res res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(CsAgentPage(), kHtml);
    });

    http.Get("/cs/agent/state", [&st](Req req, Res res) {
        uint64_t seen = 0;
        ParseU64(req.get_param_value("v"), &seen);
        const auto deadline = Clock::now() + std::chrono::milliseconds(WaitMs(req, 0));
        std::unique_lock<std::mutex> lock(st.mu);
        st.WaitUntil(lock, deadline, [&] { return st.version != seen; });
        JsonReply(res, st.StateJson());
    });

    http.Post("/cs/agent/send", [&st](Req req, Res res) {
        const std::string text = Trim(req.get_param_value("text"));
        std::lock_guard<std::mutex> lock(st.mu);
        State::Session* s = st.FindForAgent(req);
        if (!s) return Plain(res, 404, "unknown session\n");
        if (text.empty() || text.size() > kMaxTextBytes) return Plain(res, 400, "empty or too long\n");
        const std::string id = req.get_param_value("id");
        if (id.size() > kMaxIdBytes) return Plain(res, 400, "id too long\n");
        const uint64_t seq = st.AddOnce(*s, s->agent_ids, id, "agent", st.agent_name, text);
        s->phase = State::Phase::kChatting;
        st.Bump();
        JsonReply(res, "{\"seq\":" + std::to_string(seq) + ",\"sid\":" + JsonString(s->sid) + "}\n");
    });

    http.Post("/cs/agent/end", [&st](Req req, Res res) {
        std::lock_guard<std::mutex> lock(st.mu);
        State::Session* s = st.FindForAgent(req);
        if (!s) return Plain(res, 404, "unknown session\n");
        if (s->phase != State::Phase::kEnded) {
            s->Add("system", "end", st.agent_name, "客服" + st.agent_name + "已结束本次会话，感谢您的咨询！");
            s->phase = State::Phase::kEnded;
            st.Bump();
        }
        JsonReply(res, "{\"sid\":" + JsonString(s->sid) + "}\n");
    });

    http.Post("/cs/agent/status", [&st](Req req, Res res) {
        std::lock_guard<std::mutex> lock(st.mu);
        if (req.has_param("name")) {
            const std::string name = Trim(req.get_param_value("name"));
            if (name.empty() || name.size() > 60) return Plain(res, 400, "bad name\n");
            st.agent_name = name;
        }
        if (req.has_param("status")) {
            const std::string status = req.get_param_value("status");
            if (status != kOnline && status != kOffline) return Plain(res, 400, "status is 在线 or 离线\n");
            st.agent_online = status == kOnline;
        }
        st.Bump();
        JsonReply(res, st.AgentJson() + "\n");
    });

    // ---- control -------------------------------------------------------------------------------
    http.Post("/__cs/service", [&st](Req req, Res res) {
        const std::string mode = req.get_param_value("mode");
        std::lock_guard<std::mutex> lock(st.mu);
        if (mode == "up") {
            st.mode = State::Mode::kUp;
        } else if (mode == "down") {
            st.mode = State::Mode::kDown;
        } else if (mode == "stall") {
            st.mode = State::Mode::kStall;
        } else if (mode == "reset") {
            // What a restart loses: registrations (a held library poll answers 404 at once),
            // contact times and heartbeats. The messages, with their numbering and the ids they
            // were sent with, and the receipts are in store and stay.
            for (auto& [sid, s] : st.sessions) {
                s.registered = false;
                s.last_library = s.last_page = Clock::time_point{};
            }
            st.heartbeats.clear();
            st.mode = State::Mode::kUp;
        } else {
            return Plain(res, 400, "mode is up, down, stall or reset\n");
        }
        st.Bump();
        Plain(res, 200, mode + "\n");
    });

    http.Get("/__heartbeat", [&st](Req, Res res) {
        std::lock_guard<std::mutex> lock(st.mu);
        JsonReply(res, "{\"answer\":" + JsonString(st.heartbeat_answer) +
                           ",\"count\":" + std::to_string(st.heartbeat_count) + "}\n");
    });
    http.Post("/__heartbeat", [&st](Req req, Res res) {
        if (!req.has_param("answer")) return Plain(res, 400, "answer=TEXT is needed\n");
        std::lock_guard<std::mutex> lock(st.mu);
        st.heartbeat_answer = req.get_param_value("answer");
        st.Bump();
        JsonReply(res, "{\"answer\":" + JsonString(st.heartbeat_answer) + "}\n");
    });
}

}  // namespace portal
