#include "display/frame_buffer_driver.h"

#include <cstdlib>
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Largest side and mapping the driver accepts from a device or a caller.
constexpr int max_side = 32768;
constexpr long long max_mapping = 1LL << 30;

// The bytes a geometry needs mapped; 0 when the geometry is not usable.
long long needed_bytes(const FrameBufferGeometry& g)
{
    bool sane = g.width > 0 && g.height > 0 && g.width <= max_side && g.height <= max_side && g.x_offset >= 0 &&
                g.y_offset >= 0 && g.x_offset <= max_side && g.y_offset <= max_side && g.line_length > 0 &&
                static_cast<long long>(g.line_length) >= 2LL * (g.x_offset + g.width);
    if (!sane)
        return 0;
    long long bytes = static_cast<long long>(g.line_length) * (g.y_offset + g.height);
    return bytes <= max_mapping ? bytes : 0;
}

}  // namespace

std::string FrameBufferDriver::device_path()
{
    const char* named = std::getenv("PICTAVIO_FBDEV");
    return named != nullptr && *named != '\0' ? named : "/dev/fb0";
}

bool FrameBufferDriver::read_geometry(const std::string& path, FrameBufferGeometry& geometry)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    fb_var_screeninfo variable{};
    fb_fix_screeninfo fixed{};
    bool ok = ioctl(fd, FBIOGET_VSCREENINFO, &variable) == 0 && ioctl(fd, FBIOGET_FSCREENINFO, &fixed) == 0;
    ::close(fd);
    if (!ok)
        return false;
    geometry.width = static_cast<int>(variable.xres);
    geometry.height = static_cast<int>(variable.yres);
    geometry.bits_per_pixel = static_cast<int>(variable.bits_per_pixel);
    geometry.line_length = static_cast<int>(fixed.line_length);
    geometry.x_offset = static_cast<int>(variable.xoffset);
    geometry.y_offset = static_cast<int>(variable.yoffset);
    geometry.memory_length = fixed.smem_len;
    return true;
}

FrameBufferDriver::FrameBufferDriver(std::string path) : m_path(std::move(path)), m_geometry_given(false) {}

FrameBufferDriver::FrameBufferDriver(std::string path, const FrameBufferGeometry& geometry)
    : m_path(std::move(path)), m_geometry(geometry), m_geometry_given(true)
{
}

FrameBufferDriver::~FrameBufferDriver()
{
    unmap_memory();
}

bool FrameBufferDriver::open(DisplayParameters& parameters)
{
    unmap_memory();
    if (!m_geometry_given && !read_geometry(m_path, m_geometry))
        return false;
    // Only RGB565 can be drawn straight into the memory.
    if (m_geometry.bits_per_pixel != 16 || !map_memory())
        return false;
    parameters.width = m_geometry.width;
    parameters.height = m_geometry.height;
    parameters.orientation = native_orientation();
    return true;
}

bool FrameBufferDriver::map_memory()
{
    long long needed = needed_bytes(m_geometry);
    if (needed == 0)
        return false;
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    struct stat status {};
    long long available = m_geometry.memory_length;
    if (fstat(m_fd, &status) == 0 && S_ISREG(status.st_mode))
        available = status.st_size;
    if (available < needed) {
        unmap_memory();
        return false;
    }
    void* memory = mmap(nullptr, static_cast<std::size_t>(needed), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (memory == MAP_FAILED) {
        unmap_memory();
        return false;
    }
    m_memory = memory;
    m_mapped_bytes = static_cast<std::size_t>(needed);
    auto* visible = static_cast<std::uint8_t*>(m_memory) +
                    static_cast<long long>(m_geometry.y_offset) * m_geometry.line_length + 2LL * m_geometry.x_offset;
    m_screen = PixelBuffer::wrap(m_geometry.width, m_geometry.height, m_geometry.line_length, visible);
    if (!m_screen) {
        unmap_memory();
        return false;
    }
    return true;
}

void FrameBufferDriver::unmap_memory()
{
    m_screen.reset();
    if (m_memory != nullptr)
        munmap(m_memory, m_mapped_bytes);
    m_memory = nullptr;
    m_mapped_bytes = 0;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
