#include "ui/KeyMap.h"

#include <Qt>

namespace hv {

UINT VirtualKeyFromQtKey(int qtKey) {
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
        return static_cast<UINT>(qtKey);  // same codes as ASCII
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return VK_F1 + static_cast<UINT>(qtKey - Qt::Key_F1);
    }
    switch (qtKey) {
        case Qt::Key_Backspace: return VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter: return VK_RETURN;
        case Qt::Key_Shift: return VK_SHIFT;
        case Qt::Key_Control: return VK_CONTROL;
        case Qt::Key_Alt: return VK_MENU;
        case Qt::Key_Escape: return VK_ESCAPE;
        case Qt::Key_Space: return VK_SPACE;
        case Qt::Key_PageUp: return VK_PRIOR;
        case Qt::Key_PageDown: return VK_NEXT;
        case Qt::Key_End: return VK_END;
        case Qt::Key_Home: return VK_HOME;
        case Qt::Key_Left: return VK_LEFT;
        case Qt::Key_Up: return VK_UP;
        case Qt::Key_Right: return VK_RIGHT;
        case Qt::Key_Down: return VK_DOWN;
        case Qt::Key_Delete: return VK_DELETE;
        case Qt::Key_Back: return VK_BROWSER_BACK;
        case Qt::Key_Forward: return VK_BROWSER_FORWARD;
        case Qt::Key_VolumeMute: return VK_VOLUME_MUTE;
        case Qt::Key_VolumeDown: return VK_VOLUME_DOWN;
        case Qt::Key_VolumeUp: return VK_VOLUME_UP;
        case Qt::Key_MediaNext: return VK_MEDIA_NEXT_TRACK;
        case Qt::Key_MediaPrevious: return VK_MEDIA_PREV_TRACK;
        case Qt::Key_MediaStop: return VK_MEDIA_STOP;
        case Qt::Key_MediaTogglePlayPause: return VK_MEDIA_PLAY_PAUSE;
        default: return 0;
    }
}

int AppCommandFromQtKey(int qtKey) {
    // Browser Back stays a key (VK_BROWSER_BACK): the screens treat it as Backspace.
    switch (qtKey) {
        case Qt::Key_VolumeMute: return APPCOMMAND_VOLUME_MUTE;
        case Qt::Key_VolumeDown: return APPCOMMAND_VOLUME_DOWN;
        case Qt::Key_VolumeUp: return APPCOMMAND_VOLUME_UP;
        case Qt::Key_MediaNext: return APPCOMMAND_MEDIA_NEXTTRACK;
        case Qt::Key_MediaPrevious: return APPCOMMAND_MEDIA_PREVIOUSTRACK;
        case Qt::Key_MediaStop: return APPCOMMAND_MEDIA_STOP;
        case Qt::Key_MediaTogglePlayPause: return APPCOMMAND_MEDIA_PLAY_PAUSE;
        case Qt::Key_MediaPlay: return APPCOMMAND_MEDIA_PLAY;
        case Qt::Key_MediaPause: return APPCOMMAND_MEDIA_PAUSE;
        case Qt::Key_MediaRecord: return APPCOMMAND_MEDIA_RECORD;
        case Qt::Key_AudioForward: return APPCOMMAND_MEDIA_FAST_FORWARD;
        case Qt::Key_AudioRewind: return APPCOMMAND_MEDIA_REWIND;
        case Qt::Key_ChannelUp: return APPCOMMAND_MEDIA_CHANNEL_UP;
        case Qt::Key_ChannelDown: return APPCOMMAND_MEDIA_CHANNEL_DOWN;
        default: return 0;
    }
}

UINT MouseMessageFromQt(QEvent::Type type, Qt::MouseButton button) {
    const int index = button == Qt::RightButton ? 1 : button == Qt::MiddleButton ? 2 : 0;
    static const UINT down[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static const UINT up[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    static const UINT dbl[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
    switch (type) {
        case QEvent::MouseButtonPress: return down[index];
        case QEvent::MouseButtonRelease: return up[index];
        case QEvent::MouseButtonDblClick: return dbl[index];
        default: return WM_MOUSEMOVE;
    }
}

}  // namespace hv
