#include "sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/registry.h"

namespace {

struct Sandbox {
    std::string folder;

    Sandbox()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/pictavio-test-XXXXXX";
        folder = mkdtemp(pattern.data());
        setenv("HOME", folder.c_str(), 1);
        setenv("TMPDIR", folder.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        setenv("PICTAVIO_REGISTRY", (folder + "/registry").c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("PICTAVIO_MY_DOCUMENTS");
    }

    ~Sandbox()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

// Set up before any test runs, so even static initialisers log into it.
const Sandbox& the_sandbox()
{
    static const Sandbox instance;
    return instance;
}

const bool sandbox_ready = !the_sandbox().folder.empty();

}  // namespace

const std::string& sandbox()
{
    return the_sandbox().folder;
}

std::string make_folder(const std::string& name)
{
    const std::string path = sandbox() + "/" + name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

void write_bytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string utf16le(StringView text, bool bom)
{
    std::string bytes = bom ? std::string("\xFF\xFE") : std::string();
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

void set_log_switch(std::uint32_t value)
{
    write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", value);
}
