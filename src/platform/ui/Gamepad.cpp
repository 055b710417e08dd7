#include "ui/Gamepad.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <map>
#include <vector>

#include "ui/GamepadKeys.h"
#include "ui/MessagePump.h"
#include "winapi/Log.h"

struct hv::Gamepad::Shared {
    UniqueHandle stop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HWND target = nullptr;
};

namespace {

// SDL has no wait for controller input without a video window (its own
// waits poll every millisecond), so the thread looks in: seldom while no
// controller is there (only to notice one arriving), often enough for
// smooth repeats while one is.
constexpr DWORD kIdlePollMs = 250;
constexpr DWORD kActivePollMs = 10;
constexpr DWORD kStopWaitMs = 2000;

using Controllers = std::map<SDL_JoystickID, SDL_GameController*>;

// Opens a controller that arrived and takes what is already held on it as
// pressed now: SDL reports only changes from here on.
void Open(int deviceIndex, DWORD now, Controllers* open, hv::GamepadKeys* keys,
          std::vector<MSG>* messages) {
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (id < 0 || open->contains(id)) {
        return;  // gone again, or announced twice (once at start, once on arrival)
    }
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (!controller) {
        return;
    }
    (*open)[id] = controller;
    hv::LogInfo("game controller %d: %s", static_cast<int>(id), SDL_GameControllerName(controller));
    for (int button = 0; button < SDL_CONTROLLER_BUTTON_MAX; ++button) {
        if (SDL_GameControllerGetButton(controller,
                                        static_cast<SDL_GameControllerButton>(button))) {
            keys->Button(id, button, true, now, messages);
        }
    }
    for (const SDL_GameControllerAxis axis :
         {SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY}) {
        keys->Axis(id, axis, SDL_GameControllerGetAxis(controller, axis), now, messages);
    }
}

void Listen(const std::shared_ptr<hv::Gamepad::Shared>& shared) {
    hv::GamepadKeys keys;
    Controllers open;
    std::vector<MSG> messages;
    for (;;) {
        const DWORD now = GetTickCount();
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            switch (event.type) {
                case SDL_CONTROLLERDEVICEADDED:
                    Open(event.cdevice.which, now, &open, &keys, &messages);
                    break;
                case SDL_CONTROLLERDEVICEREMOVED:
                    if (auto it = open.find(event.cdevice.which); it != open.end()) {
                        SDL_GameControllerClose(it->second);
                        open.erase(it);
                    }
                    keys.Remove(event.cdevice.which, now, &messages);
                    break;
                case SDL_CONTROLLERBUTTONDOWN:
                case SDL_CONTROLLERBUTTONUP:
                    keys.Button(event.cbutton.which, event.cbutton.button,
                                event.type == SDL_CONTROLLERBUTTONDOWN, now, &messages);
                    break;
                case SDL_CONTROLLERAXISMOTION:
                    keys.Axis(event.caxis.which, event.caxis.axis, event.caxis.value, now,
                              &messages);
                    break;
                default: break;
            }
        }
        keys.Repeat(now, &messages);
        for (const MSG& msg : messages) {
            PostMessageA(shared->target, msg.message, msg.wParam, msg.lParam);
        }
        messages.clear();
        DWORD wait = open.empty() ? kIdlePollMs : kActivePollMs;
        if (const auto untilRepeat = keys.UntilRepeat(GetTickCount())) {
            wait = std::min(wait, *untilRepeat);
        }
        if (WaitForSingleObject(shared->stop.Get(), wait) == WAIT_OBJECT_0) {
            break;
        }
    }
    for (const auto& [id, controller] : open) {
        SDL_GameControllerClose(controller);
    }
}

LRESULT Deliver(void*, HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    hv::SendKeyInput(message, wParam, lParam);
    return 0;
}

}  // namespace

namespace hv {

Gamepad::~Gamepad() {
    Stop();
}

bool Gamepad::Start() {
    if (m_shared) {
        return static_cast<bool>(m_thread);
    }
    // The client keeps its own signal handling. SDL is started here, on the
    // user-interface thread, so that its start and end never overlap another
    // thread's use of it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        LogWarning("no game controllers: %s", SDL_GetError());
        return false;
    }
    m_sdlStarted = true;
    m_shared = std::make_shared<Shared>();
    m_hwnd = hvCreateWindowHandle(&Deliver, nullptr);
    m_shared->target = m_hwnd;
    if (m_shared->stop) {
        m_thread = Thread::Start([shared = m_shared] { Listen(shared); });
    }
    if (!m_thread) {
        Stop();
        return false;
    }
    return true;
}

void Gamepad::Stop() {
    if (m_shared) {
        SetEvent(m_shared->stop.Get());
    }
    if (m_thread && !m_thread.Wait(kStopWaitMs)) {
        // Still inside SDL: SDL stays up for it, and its messages go nowhere.
        LogWarning("game controller thread did not end");
        m_thread.Abandon();
        m_sdlStarted = false;
    }
    m_thread = Thread();
    if (m_hwnd) {
        hvDestroyWindowHandle(m_hwnd);
        m_hwnd = nullptr;
    }
    if (m_sdlStarted) {
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        m_sdlStarted = false;
    }
    m_shared.reset();
}

}  // namespace hv
