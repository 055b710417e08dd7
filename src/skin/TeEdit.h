// CTeEdit: a one-line edit box without the platform's border, framed instead
// by four skin strips that light up while it has the focus or the mouse is
// over it.
#pragma once

#include <array>

#include "skin/ScaledImage.h"
#include "ui/Wnd.h"

class CTeEdit : public CWnd {
  public:
    static constexpr UINT_PTR kHoverTimer = 500;
    static constexpr UINT kHoverCheckMs = 10;
    enum Side { kTop, kBottom, kLeft, kRight, kSides };

    ~CTeEdit() override;

    // The emphasised top, bottom, left and right strips, then the normal ones
    // in the same order. A strip that does not load is not painted.
    void LoadImages(const std::array<UINT, 2 * kSides>& bitmapIds);
    // Takes over the parent's edit control `id` without its own border.
    BOOL Attach(UINT id, CWnd* parent);

    // Left, top, right and bottom, from the normal strips.
    int BorderWidth(Side side) const;
    bool IsHot() const { return m_bHot != 0; }
    // The emphasised strips are the ones drawn.
    bool IsEmphasised() const;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void PaintFrame();
    void OnHoverCheck();

    std::array<CScaledImage, kSides> m_emphasised;
    std::array<CScaledImage, kSides> m_normal;
    int m_bHot = 0;
};
