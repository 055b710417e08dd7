// CBaseView: base of every screen. A child of the frame built on a form
// template, with the layout hook, the remote-control hook and the overlay
// hook that the screens override.
#pragma once

#include <QImage>
#include <memory>
#include <vector>

#include "ui/Wnd.h"

class CBaseView : public CWnd {
  public:
    explicit CBaseView(UINT templateId) : m_nTemplateId(templateId) {}

    // Creates the screen hidden, as a child of the frame, with the controls
    // of its form template when there is one.
    BOOL Create(CWnd* frame, UINT id);
    virtual void OnInitialUpdate() {}

    // Places the controls for the current size.
    virtual void ArrangeControls(BOOL rebuild);
    // Non-zero when the remote-control command was handled.
    virtual WORD OnAppCommand(int command);
    virtual void PaintOverlay() {}

    UINT GetTemplateId() const { return m_nTemplateId; }
    // The control after (or before) `control` in the form's tab order that
    // can take the focus, going round; null when there is none.
    CWnd* GetNextDlgTabItem(const CWnd* control, BOOL previous) const;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void DrawBackground();

  private:
    // On becoming the focus, hands it on to the first control that takes it.
    void FocusFirstControl();

    UINT m_nTemplateId;
    // The template's controls; a screen that takes one over leaves its husk here.
    std::vector<std::unique_ptr<CWnd>> m_arrControls;
    // Made once, ready to draw: the logo and the key-masked resize grip.
    QImage m_logo;
    QImage m_grip;
};
