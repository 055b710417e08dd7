// The games screen: a column of categories, the tile grid of the chosen
// category with the selected game's title above it and the page counter and
// page buttons below it, and a summary panel of the selected game.
#pragma once

#include <QImage>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "screens/BaseView.h"
#include "screens/GameList.h"
#include "skin/MCListBox.h"
#include "skin/StaticBtn.h"

struct GameInfo;
class QPainter;

class CGamesView : public CBaseView {
  public:
    static constexpr UINT kTemplateId = 104;
    enum : UINT {
        kCategoriesId = 1012,
        kTitleId = 1013,
        kCounterId = 1014,
        kPrevPageId = 1015,
        kNextPageId = 1016,
        kGamesId = 1017,
        kSummaryFrameId = 1101,
        kSummaryId = 1103,
    };

    CGamesView();
    ~CGamesView() override;

    void OnInitialUpdate() override;
    void ArrangeControls(BOOL rebuild) override;
    WORD OnAppCommand(int command) override;
    void PaintOverlay() override;

    // Lists a category once, in order of first appearance; empty names are
    // not categories.
    void AddCategory(std::string_view name);
    const std::vector<std::string>& CategoryNames() const { return m_strlstCategoryNames; }

    int RefreshGames();
    // Empties the grid; the records it pointed at are about to go.
    void RemoveAllGames();
    void SelectCategory(int index);
    void UpdatePageInfo(GameInfo* game, int position);

    const std::string& CurrentCategory() const { return m_strCategory; }
    CGameList& Games() { return m_lstGames; }
    CMCListBox& Categories() { return m_lstCategories; }
    CStaticBtn& PrevPageButton() { return m_btnPrevPage; }
    CStaticBtn& NextPageButton() { return m_btnNextPage; }
    GameInfo* SelectedGame();
    // The three texts of the summary panel for the selected game, as drawn.
    std::vector<std::string> SummaryLines();
    // How many icons the art thread has announced to this screen.
    int IconsReady() const { return m_nIconsReady; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void BuildGameList();
    void DrawSummary(QPainter& painter);
    void DrawFrame(QPainter& painter);
    void OnKeyDown(UINT key, LPARAM data);
    void SetControlText(UINT id, const std::string& text);
    QRect ControlRect(UINT id) const;
    void InvalidateControl(UINT id);

    CMCListBox m_lstCategories;
    CGameList m_lstGames;
    CStaticBtn m_btnPrevPage;
    CStaticBtn m_btnNextPage;
    std::vector<std::string> m_strlstCategoryNames;
    // Looked up by view: every record names its categories again.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::unordered_set<std::string, NameHash, std::equal_to<>> m_categorySet;
    std::string m_strCategory;
    GameInfo* m_pSelGame = nullptr;
    std::mutex m_csSummary;
    int m_nIconsReady = 0;
    // The selected game's faint rating badge, loaded when the rating changes.
    UINT m_nRatingId = 0;
    QImage m_imgRating;
    CScaledImage m_imgAcross;
    CScaledImage m_imgDown;
};

// The summary panel's lines for a record: its price line, "Free Demo
// Available" when its partner is the free demo of a priced game, its rating.
std::vector<std::string> SummaryLinesOf(const GameInfo& game);
