#include "VirtualGamepad.h"

#include <SDL2/SDL.h>

VirtualGamepad::VirtualGamepad() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    m_sdl = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    if (!m_sdl) {
        m_error = SDL_GetError();
    }
}

VirtualGamepad::~VirtualGamepad() {
    Detach();
    if (m_sdl) {
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
}

bool VirtualGamepad::Attach() {
    if (!m_sdl || m_joystick) {
        return m_joystick != nullptr;
    }
    // Every button and axis of the standard layout, in SDL's order: SDL then
    // maps button n to game-controller button n, axis n to axis n.
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
    desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    desc.name = "Virtual Gamepad";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) {
        m_error = SDL_GetError();
        return false;
    }
    if (!SDL_IsGameController(index)) {
        m_error = "SDL does not take the virtual joystick for a game controller";
        SDL_JoystickDetachVirtual(index);
        return false;
    }
    m_joystick = SDL_JoystickOpen(index);
    if (!m_joystick) {
        m_error = SDL_GetError();
        SDL_JoystickDetachVirtual(index);
        return false;
    }
    return true;
}

void VirtualGamepad::Detach() {
    if (!m_joystick) {
        return;
    }
    // Device indices move as devices come and go; the instance stays.
    const SDL_JoystickID id = SDL_JoystickInstanceID(m_joystick);
    SDL_JoystickClose(m_joystick);
    m_joystick = nullptr;
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
        if (SDL_JoystickGetDeviceInstanceID(index) == id) {
            SDL_JoystickDetachVirtual(index);
            return;
        }
    }
}

void VirtualGamepad::SetButton(SDL_GameControllerButton button, bool down) {
    if (m_joystick) {
        SDL_JoystickSetVirtualButton(m_joystick, button, down ? SDL_PRESSED : SDL_RELEASED);
    }
}

void VirtualGamepad::SetAxis(SDL_GameControllerAxis axis, int value) {
    if (m_joystick) {
        SDL_JoystickSetVirtualAxis(m_joystick, axis, static_cast<Sint16>(value));
    }
}
