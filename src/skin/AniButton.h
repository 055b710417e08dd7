// CAniButton: the skinned push button. It pulses while its owner is active;
// a click plays the click sound and sweeps a shine across the face, and only
// then reaches the parent. The steps come from the shared animation clock,
// and only while the button is visible.
#pragma once

#include "res/ResourceTable.h"
#include "skin/Look.h"
#include "skin/ScaledImage.h"
#include "ui/Button.h"

class CAniButton : public CButton {
  public:
    CAniButton();
    ~CAniButton() override;

    void SetImages(UINT normal, UINT glow, UINT sweep);
    // The usual face, glow and sweep images.
    void SetSkinImages() {
        SetImages(hv::res::kButtonFace.id, hv::res::kButtonGlow.id, hv::res::kButtonSweep.id);
    }
    void StartAnimation();
    void StopAnimation();

    bool IsAnimating() const { return m_bAnimating; }
    bool IsClicked() const { return m_bClicked; }
    int GlowLevel() const { return m_nGlowLevel; }
    int SweepPosition() const { return m_nSweepPosition; }
    // One animation step, as the clock runs it.
    void Step();

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawItem(QPainter& painter) override;

  private:
    // What the last step put on the face.
    enum class Shown { Face, Glow, Sweep };

    void DrawLabel(QPainter& painter, bool hot) const;
    void Pulse();
    void Sweep();
    // On the clock exactly while animating and visible.
    void FollowClock(bool visible);

    // Decoded on the first paint, scaled once per button size.
    CScaledImage m_normal;
    CScaledImage m_glow;
    CScaledImage m_sweep;
    COLORREF m_crNormalText = hv::look::kButtonText;
    COLORREF m_crHighlightText = hv::look::kButtonTextHot;
    UINT m_nNormalId = 0;
    UINT m_nGlowId = 0;
    UINT m_nSweepId = 0;
    int m_nGlowLevel = 0;
    bool m_bGlowRising = true;
    int m_nSweepPosition = 5;
    bool m_bClicked = false;
    // Clicks posted by the current sweep, and those of a stopped sweep still
    // on their way, which are swallowed when they arrive.
    int m_nPostedClicks = 0;
    int m_nStaleClicks = 0;
    bool m_bAnimating = false;
    Shown m_shown = Shown::Face;
    int m_nShownGlow = 0;
    int m_nShownSweepX = 0;
    bool m_bShownHot = false;
};
