// CAviCtrl: plays one of the skin's animations stretched over its window,
// straight from the frame strip in the resources. With ACS_TRANSPARENT the
// frames' key-colour pixels let the parent show through. Its timer runs only
// while it plays and is visible.
#pragma once

#include <QImage>
#include <QSize>
#include <vector>

#include "skin/Palette.h"
#include "ui/Wnd.h"

class CAviCtrl : public CWnd {
  public:
    ~CAviCtrl() override;

    // FALSE without a window or when the animation is missing or unreadable;
    // the control then shows its idle look. Starts playing with ACS_AUTOPLAY.
    BOOL OpenResource(UINT id);
    // Frames first to last (-1: to the end), at most `limit` of them shown
    // (-1: for ever). FALSE without a window or an open animation.
    BOOL Play(int first, int last, int limit);
    void Stop();
    void Close();

    COLORREF m_crTransparent = hv::look::kKeyColour;

    int CurrentFrame() const { return m_nCurrentFrame; }
    int FramesShown() const { return m_nFramesShown; }
    bool IsPlaying() const { return m_bPlaying; }
    int FrameCount() const { return m_nFrameCount; }
    int FramePeriod() const { return m_nFramePeriod; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Paint();
    // One timer tick: the next frame, or the end of the run.
    void Advance();
    // Frame `index` stretched to `size`, keyed with the style; made once per size.
    const QImage& SizedFrame(int index, const QSize& size);

    QImage m_strip;  // every frame side by side
    QSize m_frameSize;
    int m_nFrameCount = 0;
    int m_nFramePeriod = 0;  // ms
    std::vector<QImage> m_sized;
    QSize m_sizedFor;
    COLORREF m_crSizedKey = hv::look::kKeyColour;
    int m_nCurrentFrame = 0;
    int m_nFirstFrame = -1;
    int m_nLastFrame = -1;
    int m_nFrameLimit = -1;
    int m_nFramesShown = 0;
    bool m_bPlaying = false;
};
