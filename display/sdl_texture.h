#pragma once
// An RGB565 streaming texture on a window's renderer: lock it to draw into,
// then show it at the window's top-left corner, unscaled.

#include <memory>
#include "pixels/pixel_buffer.h"

struct SDL_Renderer;
struct SDL_Texture;

class SdlTexture {
public:
    // A texture of width x height on renderer; check is_valid().
    SdlTexture(SDL_Renderer* renderer, int width, int height);
    ~SdlTexture();
    SdlTexture(const SdlTexture&) = delete;
    SdlTexture& operator=(const SdlTexture&) = delete;

    bool is_valid() const { return m_texture != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The texture's pixels until show (locked once); null when locking fails.
    PixelBuffer* lock();
    // Unlocks, copies the texture to the window and shows it.
    void show();

private:
    SDL_Renderer* m_renderer;
    SDL_Texture* m_texture = nullptr;
    int m_width;
    int m_height;
    std::unique_ptr<PixelBuffer> m_locked;
};
