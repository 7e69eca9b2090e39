#include "cs_server.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>
#include <random>

#include "pages.h"
#include "request_log.h"

namespace portal {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kOnline = "在线";
constexpr const char* kOffline = "离线";
// A library or a chat page counts as connected while its poll is held or this soon after.
constexpr auto kContactGrace = std::chrono::seconds(30);

std::string ClockTime() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%H:%M", &tm);
  return buf;
}

bool ParseU64(const std::string& text, uint64_t* out) {
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && ec == std::errc() && p == text.data() + text.size();
}

int WaitMs(const httplib::Request& req, int fallback) {
  uint64_t ms = 0;
  if (!ParseU64(req.get_param_value("wait"), &ms)) return fallback;
  return static_cast<int>(std::min<uint64_t>(ms, CsServer::kMaxWaitMs));
}

bool IsSid(std::string_view s) {
  if (s.size() < 8 || s.size() > 64) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Text without leading and trailing blanks (ASCII and the ideographic space).
std::string Trim(std::string text) {
  auto blank_at_end = [&]() {
    if (text.empty()) return size_t{0};
    if (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n') return size_t{1};
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "\xE3\x80\x80") == 0) return size_t{3};
    return size_t{0};
  };
  while (size_t n = blank_at_end()) text.resize(text.size() - n);
  size_t start = 0;
  for (;;) {
    if (start < text.size() && (text[start] == ' ' || text[start] == '\t' || text[start] == '\r' || text[start] == '\n')) {
      ++start;
    } else if (text.compare(start, 3, "\xE3\x80\x80") == 0) {
      start += 3;
    } else {
      break;
    }
  }
  return text.substr(start);
}

void Plain(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(text, kText);
}

void JsonReply(httplib::Response& res, const std::string& json) {
  res.set_header("Cache-Control", "no-store");
  res.set_content(json, kJson);
}

}  // namespace

std::string DecodeToUtf8(std::string_view bytes, const std::string& charset) {
  std::string upper;
  for (char c : charset) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (upper.empty() || upper == "UTF-8" || upper == "UTF8") return std::string(bytes);
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string out;
  char buf[512];
  char* in = const_cast<char*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    const size_t r = iconv(cd, &in, &left, &dst, &room);
    const int err = errno;
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
    out.append("\xEF\xBF\xBD");  // an invalid or cut sequence: one byte of it is replaced
    ++in;
    --left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

struct CsServer::State {
  enum class Mode { kUp, kDown, kStall };
  enum class Phase { kIdle, kWaiting, kChatting, kEnded };

  struct Message {
    uint64_t seq = 0;
    const char* from = "system";  // player, agent, system
    const char* kind = "text";    // text, ask, end
    std::string name;             // who wrote it, as shown
    std::string text;
    std::string time;
  };

  // Ids a sender gave its messages, with the seq each got: a send repeated after a lost
  // answer finds its message instead of adding it again. The oldest go first.
  struct SentIds {
    std::deque<std::pair<std::string, uint64_t>> ids;
    const uint64_t* Find(const std::string& id) const {
      for (const auto& [known, seq] : ids) {
        if (known == id) return &seq;
      }
      return nullptr;
    }
    void Add(std::string id, uint64_t seq) {
      ids.emplace_back(std::move(id), seq);
      if (ids.size() > kMaxMessages) ids.pop_front();
    }
  };

  struct Session {
    std::string sid, instance;
    std::string account, service, user, game, fid, f5, f6, f7, type;
    std::string topic;  // "咨询-<user>" once the player asked
    std::string group;  // the service group, once linked
    bool linked = false;
    // The library registered since the service last started (a restart forgets it; the
    // messages, the phase and the receipts are kept, as a real service keeps them in store).
    bool registered = true;
    Phase phase = Phase::kIdle;
    std::vector<Message> messages;
    uint64_t next_seq = 1;
    SentIds player_ids, agent_ids;
    // Read receipts of the chat page: ordinal (the page's count of agent messages it showed,
    // 1, 2, 3 … in the order shown) -> the message's seq. A receipt sent again is
    // idempotent; one that names another message for a known ordinal is counted apart.
    std::map<uint64_t, uint64_t> read;
    int read_conflicts = 0;
    Clock::time_point last_library{}, last_page{}, last_activity = Clock::now();
    int library_polls = 0, page_polls = 0;  // held right now
    std::string created = ClockTime();

    uint64_t Add(const char* from, const char* kind, std::string name, std::string text) {
      Message m;
      m.seq = next_seq++;
      m.from = from;
      m.kind = kind;
      m.name = std::move(name);
      m.text = std::move(text);
      m.time = ClockTime();
      messages.push_back(std::move(m));
      if (messages.size() > kMaxMessages) messages.erase(messages.begin());
      last_activity = Clock::now();
      return messages.back().seq;
    }
    bool HasAgentMessageAfter(uint64_t after) const {
      for (auto it = messages.rbegin(); it != messages.rend() && it->seq > after; ++it) {
        if (std::string_view(it->from) == "agent") return true;
      }
      return false;
    }
  };

  struct HeartbeatCount {
    int count = 0;
    Clock::time_point last{};
  };

  explicit State(std::string answer) : heartbeat_answer(std::move(answer)), rng(std::random_device{}()) {}

  std::mutex mu;
  std::condition_variable changed;
  bool shutting_down = false;
  Mode mode = Mode::kUp;
  uint64_t version = 1;  // bumped with every change the pages show
  std::map<std::string, Session> sessions;
  std::string agent_name = "Lily";
  bool agent_online = true;
  std::string heartbeat_answer;
  int heartbeat_count = 0;
  std::map<std::string, HeartbeatCount> heartbeats;  // per user id
  std::mt19937_64 rng;

  void Bump() {
    ++version;
    changed.notify_all();
  }
  std::string NewInstance() {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(rng()));
    return buf;
  }
  // Waits (with `lock` held) until pred or the deadline; false when the portal stops first.
  template <class Pred>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline, Pred pred) {
    changed.wait_until(lock, deadline, [&] { return shutting_down || pred(); });
    return !shutting_down;
  }
  // Library and player endpoints: false (with the answer made) while the service is down;
  // while it is stalled the request is held until that ends.
  bool ServiceAnswers(std::unique_lock<std::mutex>& lock, httplib::Response& res) {
    WaitUntil(lock, Clock::now() + std::chrono::minutes(10), [&] { return mode != Mode::kStall; });
    if (mode == Mode::kUp && !shutting_down) return true;
    Plain(res, 503, "customer service unavailable\n");
    return false;
  }
  Session* Find(const std::string& sid) {
    auto it = sessions.find(sid);
    return it == sessions.end() ? nullptr : &it->second;
  }
  // The library's endpoints know a session only once it registered since the last restart.
  Session* FindRegistered(const std::string& sid) {
    Session* s = Find(sid);
    return s && s->registered ? s : nullptr;
  }
  // An agent request names a session by sid, or by user (that user's latest session).
  Session* FindForAgent(const httplib::Request& req) {
    if (req.has_param("sid")) return Find(req.get_param_value("sid"));
    const std::string user = req.get_param_value("user");
    Session* best = nullptr;
    for (auto& [sid, s] : sessions) {
      if (s.user == user && (!best || s.last_activity >= best->last_activity)) best = &s;
    }
    return best;
  }
  std::string AgentJson() const {
    return "{\"name\":" + JsonString(agent_name) + ",\"status\":" + JsonString(agent_online ? kOnline : kOffline) + "}";
  }
  static const char* PhaseName(Phase p) {
    switch (p) {
      case Phase::kIdle: return "idle";
      case Phase::kWaiting: return "waiting";
      case Phase::kChatting: return "chatting";
      case Phase::kEnded: return "ended";
    }
    return "idle";
  }
  static std::string MessagesJson(const Session& s, uint64_t after) {
    std::string out = "[";
    for (const Message& m : s.messages) {
      if (m.seq <= after) continue;
      if (out.size() > 1) out += ',';
      out += "{\"seq\":" + std::to_string(m.seq) + ",\"from\":\"" + m.from + "\",\"kind\":\"" + m.kind +
             "\",\"name\":" + JsonString(m.name) + ",\"text\":" + JsonString(m.text) +
             ",\"time\":" + JsonString(m.time) + "}";
    }
    return out + "]";
  }
  // What the chat page of `sid` shows: the version, whether the session is known and under
  // which instance (a session made again after a restart numbers its messages from 1 again),
  // its phase, the agent and the messages after `after`.
  std::string PageJson(const std::string& sid, uint64_t after) {
    const Session* s = Find(sid);
    return "{\"v\":" + std::to_string(version) + ",\"known\":" + (s ? "true" : "false") +
           ",\"instance\":" + JsonString(s ? s->instance : std::string()) + ",\"state\":\"" +
           (s ? PhaseName(s->phase) : "idle") + "\",\"agent\":" + AgentJson() +
           ",\"messages\":" + (s ? MessagesJson(*s, after) : "[]") + "}\n";
  }
  // The receipts as [[ordinal, seq], …] in ordinal order.
  static std::string ReadJson(const Session& s) {
    std::string out = "[";
    for (const auto& [ordinal, seq] : s.read) {
      if (out.size() > 1) out += ',';
      out += "[" + std::to_string(ordinal) + "," + std::to_string(seq) + "]";
    }
    return out + "]";
  }
  // A message of `from` with the sender's id (may be empty: no id); an id seen before
  // answers the seq its message got then.
  uint64_t AddOnce(Session& s, SentIds& ids, const std::string& id, const char* from, std::string name,
                   std::string text) {
    if (!id.empty()) {
      if (const uint64_t* seq = ids.Find(id)) return *seq;
    }
    const uint64_t seq = s.Add(from, "text", std::move(name), std::move(text));
    if (!id.empty()) ids.Add(id, seq);
    return seq;
  }
  static bool Recent(Clock::time_point t, int held) {
    return held > 0 || (t != Clock::time_point{} && Clock::now() - t < kContactGrace);
  }
  std::string StateJson() const {
    std::string out = "{\"v\":" + std::to_string(version) + ",\"mode\":\"" +
                      (mode == Mode::kUp ? "up" : mode == Mode::kDown ? "down" : "stall") +
                      "\",\"agent\":" + AgentJson() + ",\"heartbeat\":{\"answer\":" + JsonString(heartbeat_answer) +
                      ",\"count\":" + std::to_string(heartbeat_count) + "},\"sessions\":[";
    bool first = true;
    for (const auto& [sid, s] : sessions) {
      if (!first) out += ',';
      first = false;
      int beats = 0;
      long beat_age = -1;
      if (auto it = heartbeats.find(s.user); it != heartbeats.end()) {
        beats = it->second.count;
        beat_age = static_cast<long>(
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - it->second.last).count());
      }
      const long idle =
          static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - s.last_activity).count());
      out += "{\"sid\":" + JsonString(s.sid) + ",\"user\":" + JsonString(s.user) + ",\"topic\":" + JsonString(s.topic) +
             ",\"account\":" + JsonString(s.account) + ",\"service\":" + JsonString(s.service) +
             ",\"game\":" + JsonString(s.game) + ",\"fid\":" + JsonString(s.fid) + ",\"f5\":" + JsonString(s.f5) +
             ",\"f6\":" + JsonString(s.f6) + ",\"f7\":" + JsonString(s.f7) + ",\"type\":" + JsonString(s.type) +
             ",\"group\":" + JsonString(s.group) + ",\"linked\":" + (s.linked ? "true" : "false") +
             ",\"registered\":" + (s.registered ? "true" : "false") +
             ",\"state\":\"" + PhaseName(s.phase) + "\",\"client\":" +
             (Recent(s.last_library, s.library_polls) ? "true" : "false") +
             ",\"page\":" + (Recent(s.last_page, s.page_polls) ? "true" : "false") +
             ",\"heartbeats\":" + std::to_string(beats) + ",\"heartbeat_age\":" + std::to_string(beat_age) +
             ",\"idle\":" + std::to_string(idle) + ",\"created\":" + JsonString(s.created) +
             ",\"messages\":" + MessagesJson(s, 0) + ",\"read\":" + ReadJson(s) +
             ",\"read_conflicts\":" + std::to_string(s.read_conflicts) + "}";
    }
    return out + "]}\n";
  }
};

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
      return !now || now->instance != instance || now->HasAgentMessageAfter(after) || st.mode == State::Mode::kDown;
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
