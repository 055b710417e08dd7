// CPanel: an invisible static that carries a group of its siblings along
// when it moves, so that a screen places a whole block of controls by moving
// one window.
#pragma once

#include <QRect>
#include <vector>

#include "ui/Wnd.h"

class CPanel : public CWnd {
  public:
    // Takes over the parent's control `id`, remembering where it stands.
    BOOL Attach(UINT id, CWnd* parent);
    // Returns the id's index in the list.
    int AddControl(UINT id);
    // Lists every other child window of the parent.
    void CollectSiblings();

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnMove(const QPoint& position);

    std::vector<UINT> m_ids;
    QRect m_rect;  // where the panel stood, in its parent's client coordinates
};
