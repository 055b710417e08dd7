#include "ui/KeyMap.h"

#include <Qt>

namespace hv {

namespace {

struct KeyPair {
    int qtKey;
    int code;
};

// Where two Qt keys share a code, the first is the one the code goes back to.
constexpr KeyPair kVirtualKeys[] = {
    {Qt::Key_Backspace, VK_BACK},
    {Qt::Key_Tab, VK_TAB},
    {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},
    {Qt::Key_Enter, VK_RETURN},
    {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL},
    {Qt::Key_Alt, VK_MENU},
    {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},
    {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},
    {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},
    {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Back, VK_BROWSER_BACK},
    {Qt::Key_Forward, VK_BROWSER_FORWARD},
    {Qt::Key_VolumeMute, VK_VOLUME_MUTE},
    {Qt::Key_VolumeDown, VK_VOLUME_DOWN},
    {Qt::Key_VolumeUp, VK_VOLUME_UP},
    {Qt::Key_MediaNext, VK_MEDIA_NEXT_TRACK},
    {Qt::Key_MediaPrevious, VK_MEDIA_PREV_TRACK},
    {Qt::Key_MediaStop, VK_MEDIA_STOP},
    {Qt::Key_MediaTogglePlayPause, VK_MEDIA_PLAY_PAUSE},
};

// Browser Back stays a key (VK_BROWSER_BACK): the screens treat it as Backspace.
constexpr KeyPair kAppCommands[] = {
    {Qt::Key_VolumeMute, APPCOMMAND_VOLUME_MUTE},
    {Qt::Key_VolumeDown, APPCOMMAND_VOLUME_DOWN},
    {Qt::Key_VolumeUp, APPCOMMAND_VOLUME_UP},
    {Qt::Key_MediaNext, APPCOMMAND_MEDIA_NEXTTRACK},
    {Qt::Key_MediaPrevious, APPCOMMAND_MEDIA_PREVIOUSTRACK},
    {Qt::Key_MediaStop, APPCOMMAND_MEDIA_STOP},
    {Qt::Key_MediaTogglePlayPause, APPCOMMAND_MEDIA_PLAY_PAUSE},
    {Qt::Key_MediaPlay, APPCOMMAND_MEDIA_PLAY},
    {Qt::Key_MediaPause, APPCOMMAND_MEDIA_PAUSE},
    {Qt::Key_MediaRecord, APPCOMMAND_MEDIA_RECORD},
    {Qt::Key_AudioForward, APPCOMMAND_MEDIA_FAST_FORWARD},
    {Qt::Key_AudioRewind, APPCOMMAND_MEDIA_REWIND},
    {Qt::Key_ChannelUp, APPCOMMAND_MEDIA_CHANNEL_UP},
    {Qt::Key_ChannelDown, APPCOMMAND_MEDIA_CHANNEL_DOWN},
};

template <size_t N>
int CodeOf(const KeyPair (&pairs)[N], int qtKey) {
    for (const KeyPair& pair : pairs) {
        if (pair.qtKey == qtKey) {
            return pair.code;
        }
    }
    return 0;
}

template <size_t N>
int QtKeyOf(const KeyPair (&pairs)[N], int code) {
    for (const KeyPair& pair : pairs) {
        if (pair.code == code) {
            return pair.qtKey;
        }
    }
    return 0;
}

}  // namespace

UINT VirtualKeyFromQtKey(int qtKey) {
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
        return static_cast<UINT>(qtKey);  // same codes as ASCII
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return VK_F1 + static_cast<UINT>(qtKey - Qt::Key_F1);
    }
    return static_cast<UINT>(CodeOf(kVirtualKeys, qtKey));
}

int QtKeyFromVirtualKey(UINT virtualKey) {
    const int code = static_cast<int>(virtualKey);
    if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) {
        return code;
    }
    if (virtualKey >= VK_F1 && virtualKey < VK_F1 + 24) {
        return Qt::Key_F1 + static_cast<int>(virtualKey - VK_F1);
    }
    return QtKeyOf(kVirtualKeys, code);
}

int AppCommandFromQtKey(int qtKey) {
    return CodeOf(kAppCommands, qtKey);
}

int QtKeyFromAppCommand(int command) {
    return QtKeyOf(kAppCommands, command);
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
