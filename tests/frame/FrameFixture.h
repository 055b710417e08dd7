// A real frame on the fake engine, with the user's answers scripted.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <deque>
#include <functional>

#include "FakeEngine.h"
#include "app/ConfigHelper.h"
#include "frame/MainFrame.h"

struct Shown {
    std::string text;
    long number;
    DWORD thread;
};

class TestFrame : public CMainFrame {
  public:
    using CMainFrame::CMainFrame;

    void ShowMessage(const std::string& text, long number) override {
        messages.push_back({text, number, GetCurrentThreadId()});
    }
    INT_PTR AskQuestion(const std::string& text, UINT) override {
        questions.push_back({text, 0, GetCurrentThreadId()});
        if (answers.empty()) {
            return IDNO;
        }
        const INT_PTR answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool AskStoragePath(const std::string& question, std::string* path) override {
        questions.push_back({question, 0, GetCurrentThreadId()});
        if (paths.empty()) {
            return false;
        }
        *path = paths.front();
        paths.pop_front();
        return true;
    }

    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::deque<INT_PTR> answers;
    std::deque<std::string> paths;
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
        frame =
            std::make_unique<TestFrame>(FrameContext{&config, &mediaCenter, fake::LibraryPath()});
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

    CConfigHelper config;
    std::atomic<int> mediaCenter{1};
    std::unique_ptr<TestFrame> frame;
    HWND hwnd = nullptr;
};
