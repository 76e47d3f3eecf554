// SDL key codes to the virtual-key numbers the window procedure receives.

#include <SDL.h>
#include "platform/window_system.h"

namespace {

struct KeyPair {
    SDL_Keycode sdl;
    int virtual_key;
};

// Keys whose virtual-key number is not a plain offset of a contiguous SDL range.
constexpr KeyPair single_keys[] = {
    {SDLK_BACKSPACE, 8},    {SDLK_TAB, 9},         {SDLK_RETURN, 13},     {SDLK_KP_ENTER, 13},     {SDLK_LSHIFT, 16},
    {SDLK_RSHIFT, 16},      {SDLK_LCTRL, 17},      {SDLK_RCTRL, 17},      {SDLK_LALT, 18},         {SDLK_RALT, 18},
    {SDLK_PAUSE, 19},       {SDLK_CAPSLOCK, 20},   {SDLK_ESCAPE, 27},     {SDLK_AC_BACK, 27},      {SDLK_SPACE, 32},
    {SDLK_PAGEUP, 33},      {SDLK_PAGEDOWN, 34},   {SDLK_END, 35},        {SDLK_HOME, 36},         {SDLK_LEFT, 37},
    {SDLK_UP, 38},          {SDLK_RIGHT, 39},      {SDLK_DOWN, 40},       {SDLK_INSERT, 45},       {SDLK_DELETE, 46},
    {SDLK_APPLICATION, 93}, {SDLK_MENU, 93},       {SDLK_KP_0, 96},       {SDLK_KP_MULTIPLY, 106}, {SDLK_KP_PLUS, 107},
    {SDLK_KP_MINUS, 109},   {SDLK_KP_PERIOD, 110}, {SDLK_KP_DIVIDE, 111}, {SDLK_EQUALS, 187},      {SDLK_PLUS, 187},
    {SDLK_MINUS, 189},
};

}  // namespace

int virtual_key_from_sdl(std::int32_t sdl_key)
{
    if (sdl_key >= SDLK_0 && sdl_key <= SDLK_9)
        return 48 + (sdl_key - SDLK_0);
    if (sdl_key >= SDLK_a && sdl_key <= SDLK_z)
        return 65 + (sdl_key - SDLK_a);
    if (sdl_key >= SDLK_KP_1 && sdl_key <= SDLK_KP_9)
        return 97 + (sdl_key - SDLK_KP_1);
    if (sdl_key >= SDLK_F1 && sdl_key <= SDLK_F12)
        return 112 + (sdl_key - SDLK_F1);
    for (const KeyPair& pair : single_keys) {
        if (pair.sdl == sdl_key)
            return pair.virtual_key;
    }
    return 0;
}
