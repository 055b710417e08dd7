// CHttpDownloadDlg: fetches one HTTP address into one file on a worker thread
// while it shows the connection state, the progress, the rate and the time
// left, then hands the file to an unpack operation. An ordinary, unskinned
// dialog; every failure ends in one message box and IDCANCEL.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/DownloadTexts.h"
#include "skin/AviCtrl.h"
#include "ui/Dialog.h"
#include "ui/ProgressCtrl.h"
#include "winapi/Thread.h"

namespace hv {
struct DownloadTransfer;  // shared with the worker, which the dialog outlives
}

class CHttpDownloadDlg : public CDialog {
  public:
    static constexpr UINT kTemplateId = 124;
    enum : int {
        IDC_ANIMATE = 1000,
        IDC_STATUS = 1001,
        IDC_FILE_STATUS = 1002,
        IDC_PROGRESS = 1003,
        IDC_TRANSFER_RATE = 1005,
        IDC_TIME_LEFT = 1027,
    };

    explicit CHttpDownloadDlg(CWnd* parent = nullptr);
    ~CHttpDownloadDlg() override;

    // Set by the caller before DoModal.
    std::string m_strAddress;
    std::string m_strFilePath;
    std::string m_strUserName;  // empty: no credentials unless the server asks
    std::string m_strPassword;
    std::string m_strUnpackFolder;
    // Asked after a complete download whether the file is the one expected;
    // a refused file is deleted and the dialog fails. None: every file is.
    std::function<bool(const std::string& file)> m_fnAccept;
    // Called with the file and the unpack folder after a complete download.
    std::function<int(const std::string& file, const std::string& folder)> m_fnUnpack;

    // The text of the failure message, once the worker has reported one.
    const std::string& ErrorText() const { return m_strError; }
    bool IsFinished() const { return m_bFinished; }
    bool IsAborting() const { return m_bAbort; }
    const CAviCtrl& Animation() const { return m_animation; }

  protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // Ends through the completion handler, as the worker would.
    void EndEarly(bool failed);
    void OnTransferDone(bool failed);
    void ShowTransferText();
    LRESULT AskCredentials(hv::Credentials* credentials);

    hv::DownloadAddress m_address;
    std::string m_strFileName;
    std::string m_strError;
    bool m_bAbort = false;
    bool m_bFinished = false;
    CAviCtrl m_animation;
    CProgressCtrl m_progress;
    std::shared_ptr<hv::DownloadTransfer> m_pTransfer;
    hv::Thread m_thread;
};
