#pragma once
// Draw targets, clip scopes and the render surface that owns its buffer.

#include <cstdint>
#include <memory>
#include "pixels/pixel_buffer.h"

// What every drawing operation writes through: a buffer and a clip rectangle.
class DrawTarget {
public:
    // A target over buffer (not owned), clipped to the whole buffer; null draws nothing.
    explicit DrawTarget(PixelBuffer* buffer = nullptr);
    DrawTarget(const DrawTarget&) = delete;
    DrawTarget& operator=(const DrawTarget&) = delete;

    PixelBuffer* buffer() const { return m_buffer; }
    const Rect& clip() const { return m_clip; }
    int clip_depth() const { return m_clip_depth; }
    bool clip_in_effect() const { return m_clip_depth > 0; }

protected:
    // Points the target at another buffer and resets the clip to all of it.
    void reset_buffer(PixelBuffer* buffer);

private:
    friend class ClipScope;
    Rect m_clip;
    int m_clip_depth = 0;
    PixelBuffer* m_buffer = nullptr;
};

// Narrows a target's clip for its lifetime; scopes nest.
class ClipScope {
public:
    ClipScope(DrawTarget& target, Point position, Size size);
    ~ClipScope();
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;

private:
    DrawTarget& m_target;
    Rect m_saved;
};

// A draw target that owns its buffer; counted in the live-pixel total.
class RenderSurface : public DrawTarget {
public:
    // An empty surface (no buffer).
    RenderSurface();
    // A surface with a new buffer of size (empty when 0 x 0 or memory is short).
    explicit RenderSurface(Size size);
    ~RenderSurface();

    // New buffer of size; false if the size is unchanged. Fatal while a clip is in effect.
    bool recreate(Size size);
    // Takes ownership of a ready buffer, releasing its own. Fatal while clipped.
    void adopt(std::unique_ptr<PixelBuffer> buffer);
    // Hands the buffer to the caller and becomes empty. Fatal while clipped.
    std::unique_ptr<PixelBuffer> detach();
    // (width, height); (0, 0) when empty.
    Size size() const;

    // Total pixels of all live surfaces (diagnostics).
    static std::int64_t live_pixel_count();

private:
    void take(std::unique_ptr<PixelBuffer> buffer);

    std::unique_ptr<PixelBuffer> m_owned;
};
