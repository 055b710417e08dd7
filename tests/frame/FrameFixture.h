// A real frame on the fake engine, with the user's answers scripted.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <deque>
#include <functional>

#include "FakeEngine.h"
#include "app/ConfigHelper.h"
#include "catalogue/GameInfo.h"
#include "frame/MainFrame.h"

using Lines = std::vector<std::string>;

struct Shown {
    std::string text;
    long number;
    DWORD thread;
};

class TestFrame : public CMainFrame {
  public:
    using CMainFrame::CMainFrame;

    // Messages (one button) and questions (two) are kept; answers come from
    // the scripted lists, declining when they run out.
    INT_PTR RunMessageDialog(MessageRequest& request) override {
        if (whileAsked) {
            whileAsked(request);
        }
        const bool question = request.flags & MSG_TWO_BUTTONS;
        (question ? questions : messages)
            .push_back({request.text, question ? 0 : request.errorCode, GetCurrentThreadId()});
        if (question && (request.flags & MSG_FOLDER) && !paths.empty()) {
            request.folderPath = paths.front();
            paths.pop_front();
            return IDYES;
        }
        if (!question || (request.flags & MSG_FOLDER) || answers.empty()) {
            return question ? IDNO : IDOK;
        }
        const INT_PTR answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::deque<INT_PTR> answers;
    std::deque<std::string> paths;
    // Runs while a message or question is up, before it is answered.
    std::function<void(const MessageRequest&)> whileAsked;
};

inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        nebula.m_strTitle = "Nebula Drift";
        nebula.m_strPackage = "NEBULA01";
        frame = std::make_unique<TestFrame>(FrameContext{
            &config,
            &mediaCenter,
            fake::LibraryPath(),
            {},
            [this] { return discovered; },
            [this](const UpgradeUnpack& unpack) { return upgrade ? upgrade(unpack) : 1; }});
        SetFrame(frame.get());
        ASSERT_TRUE(frame->CreateFrame(WS_POPUP | WS_THICKFRAME, RECT{0, 0, 800, 600}));
        hwnd = frame->GetSafeHwnd();
    }
    void TearDown() override {
        if (frame) {
            frame->WaitForWorkers(10000);
            frame->DestroyWindow();
            frame.reset();
        }
        QApplication::processEvents();
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(hwnd, message, wParam, lParam);
    }
    LRESULT SendText(UINT message, WPARAM wParam, const char* text) {
        return Send(message, wParam, reinterpret_cast<LPARAM>(text));
    }
    LRESULT Act(GameAction action, GameInfo* game) {
        return Send(UWM_GAME_ACTION, action, reinterpret_cast<LPARAM>(game));
    }
    LRESULT ConfirmPurchase() {
        return Send(UWM_CONFIRM_PURCHASE, reinterpret_cast<WPARAM>("19.99"),
                    reinterpret_cast<LPARAM>("Nebula Drift"));
    }
    static Lines Texts(const std::vector<Shown>& shown) {
        Lines texts;
        for (const Shown& one : shown) {
            texts.push_back(one.text);
        }
        return texts;
    }

    CConfigHelper config;
    std::atomic<int> mediaCenter{1};
    // What the application's discovery and upgrade check answer the frame.
    int discovered = 1;
    std::function<int(const UpgradeUnpack&)> upgrade;
    std::unique_ptr<TestFrame> frame;
    HWND hwnd = nullptr;
    GameInfo nebula;  // a record for the actions
};
