#pragma once
// The boss-key dialog: a small skinned modal pop-up in which the user presses a new boss
// key. Confirming makes the combination the launcher's boss key; if the system refuses it
// the dialog says so (the launcher keeps the old key working) and stays open.
#include <cstdint>
#include <memory>
#include <string>

#include "fw/canvas.h"
#include "fw/hotkey_field.h"
#include "fw/image.h"
#include "fw/window.h"
#include "shared/launcher.h"
#include "ui/skin.h"

class CBosskey : public fw::Window {
public:
    static constexpr int kWidth = 355;
    static constexpr int kHeight = 169;
    static constexpr int kFieldId = 170;
    static constexpr const char* kPrompt = "请输入老板键:";
    static constexpr const char* kRefused = "注册热键失败";

    // `launcher` may be null: the dialog then shows no key and can set none.
    CBosskey(fw::Window* parent, ILauncher* launcher);
    ~CBosskey() override;

    // Creates the dialog centred over its parent, runs it modally and destroys it again.
    // Answers IDOK or IDCANCEL, or -1 when it could not be shown or was destroyed meanwhile.
    int DoModal();

    // The prompt's faces, first choice and fallback ("微软雅黑", "宋体"); tests replace them
    // to see the fallback (empty texts restore them).
    static void SetFacesForTesting(const std::string& first, const std::string& fallback);

    // What the dialog shows.
    const fw::Rect& closeRect() const { return m_btnClose.rect; }
    const fw::Rect& confirmRect() const { return m_btnConfirm.rect; }
    int closeState() const { return m_btnClose.state; }
    int confirmState() const { return m_btnConfirm.state; }
    bool usesFallbackFace() const { return m_bFallback; }
    const fw::Font& promptFont() const { return m_fontPrompt; }
    fw::Rect promptRect() const;
    fw::HotKeyField* field() const { return m_pField.get(); }

    bool PreTranslateMessage(const fw::Msg& msg) override;

protected:
    int OnCreate() override;
    void OnDestroy() override;
    void OnClose() override;
    void OnPaint(fw::Canvas& canvas) override;
    void OnMouseMove(fw::Point p) override;
    void OnLButtonDown(fw::Point p) override;
    void OnLButtonUp(fw::Point p) override;
    void OnCommand(unsigned id) override;

private:
    // Registers the field's combination as the boss key; ends the dialog when it is set.
    void ApplyKey();

    fw::Window* m_pParent;
    const LauncherRef m_launcher;
    std::unique_ptr<fw::Image> m_pBackground;
    ui::SkinButton m_btnClose;
    ui::SkinButton m_btnConfirm;
    bool m_bFallback = false;
    fw::Font m_fontPrompt;
    std::unique_ptr<fw::HotKeyField> m_pField;
};
