// CDialog: a window built from a dialog template, shown modally (DoModal runs
// a nested event loop until EndDialog) or modeless (Create).
#pragma once

#include <QColor>
#include <memory>
#include <vector>

#include "ui/DialogTemplate.h"
#include "ui/Wnd.h"

class QEventLoop;

// The template's controls as children of `parent`, placed in pixels; statics
// draw their text in `staticText` when it is valid.
std::vector<std::unique_ptr<CWnd>> CreateDialogItems(const DialogTemplate& dialogTemplate,
                                                     CWnd* parent, const QColor& staticText);

class CDialog : public CWnd {
  public:
    CDialog(UINT templateId, CWnd* parent);
    ~CDialog() override;

    INT_PTR DoModal();
    // Dialog-style keys: Enter clicks the focused button or the default
    // one (IDOK), Escape cancels.
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL Create(UINT templateId, CWnd* parent);
    void EndDialog(INT_PTR result);
    UINT GetTemplateId() const { return m_templateId; }

  protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Text colour of the template's statics; they have no background.
    void SetStaticTextColour(const QColor& colour) { m_staticText = colour; }
    CWnd* ParentWnd() const { return m_parentWnd; }

  private:
    BOOL CreateFromTemplate(CWnd* parent);

    UINT m_templateId;
    CWnd* m_parentWnd;
    std::vector<std::unique_ptr<CWnd>> m_items;
    QEventLoop* m_loop = nullptr;
    INT_PTR m_result = IDCANCEL;
    QColor m_staticText;
};
