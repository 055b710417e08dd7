// CImgProgressCtrl: the download screen's progress bar, drawn from the skin:
// a trough, the fill stretched over the part done and a caption on top. The
// owner sets the members and the widget's font directly, then repaints. The
// position is read as a percentage whatever the range.
#pragma once

#include <optional>
#include <string>

#include "skin/Palette.h"
#include "skin/ScaledImage.h"
#include "ui/ProgressCtrl.h"

class CImgProgressCtrl : public CProgressCtrl {
  public:
    std::string m_strCaption;
    COLORREF m_crText = hv::look::kStaticText;
    COLORREF m_crTransparent = hv::look::kKeyColour;
    UINT m_nBackgroundId = 0;     // must be set to paint; drawn only with the flag
    UINT m_nBarId = 0;            // must be set to paint
    int m_bBitmapBackground = 0;  // 0: the shared trough is the background

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Paint();
    // Decodes again only what the members now name differently.
    void LoadImages();

    // What the background was decoded from: a keyed bitmap, or the shared
    // trough when the id is 0.
    struct BackgroundSource {
        UINT id = 0;
        COLORREF transparent = 0;
        bool operator==(const BackgroundSource&) const = default;
    };

    // Scaled once per size: the background to the client, the fill to the part done.
    CScaledImage m_background;
    CScaledImage m_bar;
    std::optional<BackgroundSource> m_loadedBackground;
    std::optional<UINT> m_loadedBarId;
};
