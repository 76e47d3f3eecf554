// Cost of the log's per-call switch read (one registry read, cached by the
// file's identity) and of a synchronous log write.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/log.h"
#include "platform/registry.h"

namespace {

// Points the registry and the temporary folder into a folder of its own.
struct Sandbox {
    std::string folder;
    Sandbox()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/pictavio-bench-XXXXXX";
        folder = mkdtemp(pattern.data());
        setenv("PICTAVIO_REGISTRY", (folder + "/registry").c_str(), 1);
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~Sandbox() { std::filesystem::remove_all(folder); }
};

const Sandbox sandbox;

void set_switch(std::uint32_t value)
{
    write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", value);
}

void registry_read(benchmark::State& state)
{
    set_switch(0);
    std::uint32_t value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(read_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", value));
}
BENCHMARK(registry_read);

void log_line_while_off(benchmark::State& state)
{
    set_switch(0);
    for (auto _ : state)
        log() << "get_folder m_folders_mutex start\n";
}
BENCHMARK(log_line_while_off);

void log_line_while_on(benchmark::State& state)
{
    set_switch(1);
    for (auto _ : state)
        log() << "get_folder m_folders_mutex start\n";
    set_switch(0);
    log();
}
BENCHMARK(log_line_while_on);

}  // namespace

BENCHMARK_MAIN();
