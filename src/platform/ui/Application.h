// CWinApp: the Qt application of the user-interface thread. Every input
// event passes PreTranslateInput once, at the window it was aimed at,
// before Qt hands it on (and perhaps up to parents).
#pragma once

#include <QApplication>

class CWinApp : public QApplication {
  public:
    CWinApp(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
