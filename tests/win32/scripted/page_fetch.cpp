// The scripted control's pages (scripted_internal.h): fetched over HTTP on a thread of the
// control's, and read for what the client asks of the document (the title, the elements with an
// id and their text, the frames).
#include "scripted_internal.h"

#include <cwctype>

namespace scripted {

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring Attribute(const std::wstring& tagText, const std::wstring& name) {
    const std::wstring lower = Lower(tagText);
    for (size_t at = lower.find(name + L"="); at != std::wstring::npos; at = lower.find(name + L"=", at + 1)) {
        if (at > 0 && !std::iswspace(lower[at - 1])) continue;
        size_t v = at + name.size() + 1;
        if (v >= tagText.size()) return {};
        const wchar_t q = tagText[v];
        if (q == L'"' || q == L'\'') {
            const size_t end = tagText.find(q, v + 1);
            return end == std::wstring::npos ? std::wstring() : tagText.substr(v + 1, end - v - 1);
        }
        size_t end = v;
        while (end < tagText.size() && !std::iswspace(tagText[end]) && tagText[end] != L'>') ++end;
        return tagText.substr(v, end - v);
    }
    return {};
}

std::wstring Decode(std::wstring s) {
    const std::pair<const wchar_t*, wchar_t> entities[] = {{L"&amp;", L'&'},  {L"&lt;", L'<'},   {L"&gt;", L'>'},
                                                           {L"&quot;", L'"'}, {L"&#39;", L'\''}, {L"&nbsp;", L' '}};
    for (const auto& [name, c] : entities)
        for (size_t at = s.find(name); at != std::wstring::npos; at = s.find(name, at + 1))
            s.replace(at, wcslen(name), 1, c);
    return s;
}

// The text of the markup between `from` and the closing tag of `tag`, its own tags left out.
std::wstring InnerText(const std::wstring& html, size_t from, const std::wstring& tag) {
    const std::wstring lower = Lower(html);
    size_t end = lower.find(L"</" + tag, from);
    if (end == std::wstring::npos) end = html.size();
    std::wstring text;
    bool inTag = false;
    for (size_t i = from; i < end; ++i) {
        if (html[i] == L'<')
            inTag = true;
        else if (html[i] == L'>')
            inTag = false;
        else if (!inTag)
            text += html[i];
    }
    return Decode(text);
}

std::wstring Resolve(const std::wstring& base, const std::wstring& ref) {
    if (ref.find(L"://") != std::wstring::npos || ref.rfind(L"about:", 0) == 0) return ref;
    const size_t scheme = base.find(L"://");
    if (scheme == std::wstring::npos) return ref;
    const size_t pathAt = base.find(L'/', scheme + 3);
    const std::wstring origin = pathAt == std::wstring::npos ? base : base.substr(0, pathAt);
    if (ref.rfind(L"//", 0) == 0) return base.substr(0, scheme + 1) + ref;
    if (!ref.empty() && ref[0] == L'/') return origin + ref;
    const size_t slash = base.rfind(L'/');
    return (slash != std::wstring::npos && slash > scheme + 2 ? base.substr(0, slash + 1) : origin + L"/") + ref;
}

Page Parse(const std::wstring& html, const std::wstring& url) {
    Page page;
    const std::wstring lower = Lower(html);
    if (size_t t = lower.find(L"<title"); t != std::wstring::npos)
        if (size_t gt = html.find(L'>', t); gt != std::wstring::npos) page.title = InnerText(html, gt + 1, L"title");
    for (size_t lt = html.find(L'<'); lt != std::wstring::npos; lt = html.find(L'<', lt + 1)) {
        if (lt + 1 >= html.size() || !std::iswalpha(html[lt + 1])) continue;
        const size_t gt = html.find(L'>', lt);
        if (gt == std::wstring::npos) break;
        const std::wstring tagText = html.substr(lt + 1, gt - lt - 1);
        size_t nameEnd = 0;
        while (nameEnd < tagText.size() && std::iswalnum(tagText[nameEnd])) ++nameEnd;
        const std::wstring tag = Lower(tagText.substr(0, nameEnd));
        if (tag == L"script" || tag == L"style") {  // their text is not the page's
            const size_t close = lower.find(L"</" + tag, gt);
            if (close == std::wstring::npos) break;
            lt = close;
            continue;
        }
        if (tag == L"iframe") {
            const std::wstring src = Decode(Attribute(tagText, L"src"));
            if (!src.empty()) page.frames.push_back(Resolve(url, src));
        }
        const std::wstring id = Attribute(tagText, L"id");
        if (!id.empty()) page.elements.push_back({tag, Decode(id), InnerText(html, gt + 1, tag)});
    }
    return page;
}

Fetched Fetch(const std::wstring& url) {
    Fetched out;
    if (url == L"about:blank") {
        out.ok = true;
        return out;
    }
    HINTERNET net = InternetOpenW(L"RvScriptedPage", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!net) return out;
    // No cookies: the pages are the tests', and the system's cookie jar is shared with the
    // client's own requests.
    HINTERNET req = InternetOpenUrlW(
        net, url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES, 0);
    if (req) {
        DWORD status = 0, size = sizeof status;
        HttpQueryInfoW(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        out.status = status;
        std::string body;
        char buf[8192];
        DWORD got = 0;
        while (InternetReadFile(req, buf, sizeof buf, &got) && got > 0) body.append(buf, got);
        out.html = Wide(body);
        out.ok = status >= 200 && status < 400;
        InternetCloseHandle(req);
    }
    InternetCloseHandle(net);
    return out;
}

}  // namespace scripted
