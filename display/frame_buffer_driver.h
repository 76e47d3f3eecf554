#pragma once
// The Linux frame-buffer driver: /dev/fb0 (or the device named by
// PICTAVIO_FBDEV), used only at 16 bits per pixel, memory-mapped.

#include <memory>
#include <string>
#include "display/display_driver.h"

// What the frame-buffer device reports about its visible screen.
struct FrameBufferGeometry {
    int width = 0;
    int height = 0;
    int bits_per_pixel = 0;
    // Bytes from one row to the next.
    int line_length = 0;
    // Top-left of the visible screen inside the mapped memory, in pixels.
    int x_offset = 0;
    int y_offset = 0;
    // Bytes of memory the device offers; 0 for a regular file (its size counts).
    long long memory_length = 0;
};

class FrameBufferDriver : public DisplayDriver {
public:
    // The device to use: PICTAVIO_FBDEV when set, else /dev/fb0.
    static std::string device_path();
    // Reads the geometry of a frame-buffer device; false when path is none.
    static bool read_geometry(const std::string& path, FrameBufferGeometry& geometry);

    // A driver for the device at path; its geometry is read on open.
    explicit FrameBufferDriver(std::string path);
    // A driver for any file (a regular file stands in for the device) with a given geometry.
    FrameBufferDriver(std::string path, const FrameBufferGeometry& geometry);
    ~FrameBufferDriver() override;

    const char* name() const override { return "fb"; }
    // Maps the memory; false unless it is 16 bits per pixel and large enough for the geometry.
    bool open(DisplayParameters& parameters) override;
    // The mapped memory is the screen: there is no presenting of its own.
    PresentMode present_mode() const override { return PresentMode::none; }
    PixelBuffer* begin_frame() override { return m_screen.get(); }
    // What is drawn into the mapped memory is already visible.
    void present() override {}
    const PixelBuffer* shown_frame() const override { return m_screen.get(); }

private:
    bool map_memory();
    void unmap_memory();

    std::string m_path;
    FrameBufferGeometry m_geometry;
    bool m_geometry_given;
    int m_fd = -1;
    void* m_memory = nullptr;
    std::size_t m_mapped_bytes = 0;
    std::unique_ptr<PixelBuffer> m_screen;
};
