// The home screen: the menu on the left, a page area on the right in which
// the frame hosts its browser for the What's New page.
#pragma once

#include "screens/BaseView.h"
#include "skin/MCListBox.h"

class CHomeScreenView : public CBaseView {
  public:
    static constexpr UINT kTemplateId = 255;
    static constexpr UINT kMenuId = 1012;
    static constexpr UINT kPageAreaId = 1113;

    CHomeScreenView();
    ~CHomeScreenView() override;

    void OnInitialUpdate() override;
    void ArrangeControls(BOOL rebuild) override;
    WORD OnAppCommand(int) override { return 0; }

    // The four entries, the first one chosen. Returns 1.
    int FillMenu();
    // Back from elsewhere: the menu works again and What's New shows.
    void ShowHome();
    void ShowWhatsNew();

    CMCListBox& Menu() { return m_lstMenu; }
    CWnd& PageArea() { return m_wndPageArea; }

    // Set by the frame once "Browse Games" is chosen: the menu is inert
    // until ShowHome.
    int m_nBrowsePending = 0;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnKeyDown(WPARAM key, LPARAM data);

    CMCListBox m_lstMenu;
    CWnd m_wndPageArea;
};
