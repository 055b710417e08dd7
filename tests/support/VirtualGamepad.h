// A game controller that exists only in SDL: tests attach it, press its
// buttons and move its axes, and whoever reads controllers through SDL (the
// client's Gamepad) sees a real one arrive, act and leave. Use it on the
// user-interface thread, where the client starts and ends SDL.
#pragma once

#include <SDL2/SDL_gamecontroller.h>

#include <string>

class VirtualGamepad {
  public:
    // Starts SDL's joystick support (counted, so the client's start and end
    // of it are unaffected); nothing is attached yet.
    VirtualGamepad();
    ~VirtualGamepad();
    VirtualGamepad(const VirtualGamepad&) = delete;
    VirtualGamepad& operator=(const VirtualGamepad&) = delete;

    // Plugs the controller in. False, with the reason in Error(), when SDL
    // did not take it for a game controller.
    bool Attach();
    // Unplugs it; every button and axis starts at rest on the next Attach.
    void Detach();

    void Press(SDL_GameControllerButton button) { SetButton(button, true); }
    void Release(SDL_GameControllerButton button) { SetButton(button, false); }
    void SetButton(SDL_GameControllerButton button, bool down);
    void SetAxis(SDL_GameControllerAxis axis, int value);

    const std::string& Error() const { return m_error; }

  private:
    bool m_sdl = false;
    SDL_Joystick* m_joystick = nullptr;
    std::string m_error;
};
