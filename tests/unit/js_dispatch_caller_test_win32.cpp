// The script bridge's frame rule with the system's browser control: the control's script
// engine calls window.external through IDispatchEx::InvokeEx and passes the calling script's
// service provider, whose window and documents tell the calling frame and the page. A frame
// of another site is refused as a call of an unknown name and reaches the window in no way.
// (Wine has no engine to run a page: the caller is a stand-in with the interfaces' layouts,
// script_caller_double.h.)
#include "fw/windows/windows_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw/bridge_origin.h"
#include "fw/com.h"
#include "script_caller_double.h"
#include "web/js_dispatch.h"

namespace {

struct Owner : IJSDispatch {
    std::vector<std::string> calls;
    void OpenGame(std::string t) override { calls.push_back("OpenGame(" + t + ")"); }
    void API_close() override { calls.push_back("API_close()"); }
};

class BridgeCaller : public ::testing::Test {
protected:
    void SetUp() override { fw::SetBridgeHosts({"portal.example", "pay.example:8080"}); }
    void TearDown() override {
        fw::SetBridgeHosts({});
        for (void* c : callers_) script_caller::FreeCaller(c);
    }

    IServiceProvider* Caller(const std::wstring& frame, const std::wstring& top, bool topReadable = true,
                             bool isTop = false) {
        script_caller::Caller c;
        c.frameUrl = frame;
        c.topUrl = top;
        c.topReadable = topReadable;
        c.isTop = isTop;
        void* p = script_caller::MakeCaller(c);
        callers_.push_back(p);
        return static_cast<IServiceProvider*>(p);
    }
    IServiceProvider* SilentCaller() {
        script_caller::Caller c;
        c.namesWindow = false;
        void* p = script_caller::MakeCaller(c);
        callers_.push_back(p);
        return static_cast<IServiceProvider*>(p);
    }

    // window.external.WD_JAPI("OpenGame", "U|x|S1") as the engine makes it: the name through
    // GetDispID, the call through InvokeEx with the caller.
    HRESULT OpenGame(IServiceProvider* caller) {
        IDispatchEx* ex = nullptr;
        if (bridge.QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&ex)) != S_OK || !ex) return E_NOINTERFACE;
        BSTR name = SysAllocString(L"WD_JAPI");
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = ex->GetDispID(name, fdexNameCaseSensitive, &id);
        SysFreeString(name);
        if (hr == S_OK) {
            VARIANT args[2];
            VariantInit(&args[0]);
            VariantInit(&args[1]);
            args[1].vt = VT_BSTR;  // last to first
            args[1].bstrVal = SysAllocString(L"OpenGame");
            args[0].vt = VT_BSTR;
            args[0].bstrVal = SysAllocString(L"http://g.example/play|x|S1");
            DISPPARAMS dp{args, nullptr, 2, 0};
            VARIANT result;
            VariantInit(&result);
            hr = ex->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &result, nullptr, caller);
            VariantClear(&result);
            VariantClear(&args[0]);
            VariantClear(&args[1]);
        }
        ex->Release();
        return hr;
    }

    Owner owner;
    CJSDispatch bridge{&owner};
    const std::vector<std::string> kOpened{"OpenGame(http://g.example/play|x|S1)"};

private:
    std::vector<void*> callers_;
};

}  // namespace

TEST_F(BridgeCaller, TheTopLevelDocumentIsAlwaysAnswered) {
    EXPECT_EQ(OpenGame(Caller(L"", L"http://portal.example/game/s/dmor/?uid=1", true, true)), S_OK);
    EXPECT_EQ(owner.calls, kOpened);
    owner.calls.clear();
    // Whatever its address: the rule is about frames.
    EXPECT_EQ(OpenGame(Caller(L"", L"about:blank", true, true)), S_OK);
    EXPECT_EQ(owner.calls, kOpened);
}

TEST_F(BridgeCaller, AFrameOfThePagesOwnOriginIsAnswered) {
    EXPECT_EQ(OpenGame(Caller(L"http://127.0.0.1:8088/list", L"http://127.0.0.1:8088/game/s/dmor/?uid=1")), S_OK);
    EXPECT_EQ(owner.calls, kOpened);
}

TEST_F(BridgeCaller, AFrameOnAPlatformHostIsAnsweredThoughThePageIsRefusedToIt) {
    EXPECT_EQ(OpenGame(Caller(L"http://pay.example:8080/qr", L"http://127.0.0.1:8088/game", false)), S_OK);
    EXPECT_EQ(owner.calls, kOpened);
}

TEST_F(BridgeCaller, AFrameOfAnotherSiteGetsNoBridge) {
    // The page's document refused to the frame (the engine's same-origin rule) ...
    EXPECT_EQ(OpenGame(Caller(L"http://ads.example/banner", L"http://portal.example/game", false)), DISP_E_UNKNOWNNAME);
    // ... or readable: another origin all the same (another scheme, another port).
    EXPECT_EQ(OpenGame(Caller(L"https://127.0.0.1:8088/x", L"http://127.0.0.1:8088/game")), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(OpenGame(Caller(L"http://portal.example:81/x", L"http://127.0.0.1:8088/game")), DISP_E_UNKNOWNNAME);
    // A frame without an address of its own: its origin cannot be told.
    EXPECT_EQ(OpenGame(Caller(L"about:blank", L"http://portal.example/game")), DISP_E_UNKNOWNNAME);
    EXPECT_TRUE(owner.calls.empty());
}

TEST_F(BridgeCaller, ACallerThatNamesNoDocumentIsAnsweredAsBefore) {
    EXPECT_EQ(OpenGame(nullptr), S_OK);         // code, not a script
    EXPECT_EQ(OpenGame(SilentCaller()), S_OK);  // an engine that names no window
    EXPECT_EQ(owner.calls.size(), 2u);
}

TEST_F(BridgeCaller, TheNamesOfIDispatchExAreThoseOfIDispatch) {
    IDispatchEx* ex = nullptr;
    ASSERT_EQ(bridge.QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&ex)), S_OK);
    for (const wchar_t* n : {L"WD_JAPI", L"wd_japi", L"API_close"}) {
        BSTR name = SysAllocString(n);
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(ex->GetDispID(name, 0, &id), S_OK);
        EXPECT_NE(id, DISPID_UNKNOWN);
        SysFreeString(name);
    }
    BSTR unknown = SysAllocString(L"OpenGame");
    DISPID id = 0;
    EXPECT_EQ(ex->GetDispID(unknown, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    SysFreeString(unknown);
    // API_close from a frame of another site does nothing either.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(ex->InvokeEx(DISPID_API_CLOSE, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                           Caller(L"http://evil.example/", L"http://portal.example/", false)),
              DISP_E_UNKNOWNNAME);
    EXPECT_TRUE(owner.calls.empty());
    ex->Release();
}
