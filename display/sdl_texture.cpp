#include "display/sdl_texture.h"

#include <SDL.h>

SdlTexture::SdlTexture(SDL_Renderer* renderer, int width, int height)
    : m_renderer(renderer), m_width(width), m_height(height)
{
    if (m_renderer != nullptr && width > 0 && height > 0)
        m_texture = SDL_CreateTexture(m_renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, width, height);
}

SdlTexture::~SdlTexture()
{
    if (m_locked)
        SDL_UnlockTexture(m_texture);
    if (m_texture != nullptr)
        SDL_DestroyTexture(m_texture);
}

PixelBuffer* SdlTexture::lock()
{
    if (m_locked || m_texture == nullptr)
        return m_locked.get();
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(m_texture, nullptr, &pixels, &pitch) != 0)
        return nullptr;
    m_locked = PixelBuffer::wrap(m_width, m_height, pitch, pixels);
    if (!m_locked)
        SDL_UnlockTexture(m_texture);
    return m_locked.get();
}

void SdlTexture::show()
{
    if (m_locked) {
        SDL_UnlockTexture(m_texture);
        m_locked.reset();
    }
    // One to one: the program's pixels and the mouse positions stay in step
    // when the window is larger or smaller than the frame.
    SDL_Rect target{0, 0, m_width, m_height};
    SDL_SetRenderDrawColor(m_renderer, 0, 0, 0, 255);
    SDL_RenderClear(m_renderer);
    SDL_RenderCopy(m_renderer, m_texture, nullptr, &target);
    SDL_RenderPresent(m_renderer);
}
