// CTeToolTip: a balloon that names what lies under the mouse pointer. The
// windows it serves relay their input to it, each with the area of itself
// that the point falls in (a window knows its own buttons); a text is kept
// per window and area. It shows once the pointer has rested for a moment and
// goes again on any press or as soon as the pointer moves on.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "ui/Wnd.h"

class CTeToolTip : public CWnd {
  public:
    static constexpr UINT kDelayTimer = 120;
    static constexpr UINT kHideTimer = 130;
    static constexpr UINT kDelayMs = 500;
    static constexpr UINT kHideCheckMs = 500;
    static constexpr UINT kWholeWindow = 0;

    ~CTeToolTip() override;

    // A hidden popup that never takes the focus.
    BOOL Create();
    // The text for `area` of `window`; kWholeWindow stands for any area
    // without a text of its own.
    void AddTool(HWND window, UINT area, const std::string& text);
    // A mouse message aimed at a served window, and the area of that window
    // its point lies in.
    void RelayEvent(const MSG& msg, UINT area);
    void Hide();

    // The text shown or about to be shown; empty when there is none.
    const std::string& CurrentText() const { return m_strText; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Pop();
    void Paint();

    std::map<std::pair<HWND, UINT>, std::string> m_tips;
    std::string m_strText;
    POINT m_ptCursor{0, 0};  // screen
    UINT_PTR m_nTimer = 0;
    int m_nPointerX = 0;  // where the balloon's pointer ends, client x
};
