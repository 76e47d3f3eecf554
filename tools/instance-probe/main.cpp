// instance-probe serve [HOLD_MS]   first copy: prints "locked", keeps the lock
//                                  HOLD_MS more, listens, prints "ready", then one
//                                  "received [<command line>]" line per hand-over
//                                  until its standard input closes.
// instance-probe send [ARGS...]    later copy: hands "ARGS..." over; exit code 0
//                                  when a running copy took it, 1 when none runs.

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <unistd.h>

#include "platform/command_line.h"
#include "platform/single_instance.h"
#include "platform/tick.h"

namespace {

constexpr StringView application_name = u"Pictavio";

void say(const std::string& line)
{
    static std::mutex output;
    std::lock_guard<std::mutex> lock(output);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int serve(int hold_ms)
{
    if (show_running_instance_open_bracket(u"", application_name)) {
        say("another copy runs");
        return 2;
    }
    say("locked");
    sleep_ms(static_cast<std::uint32_t>(hold_ms));
    if (!start_instance_listener([](const String& command_line) { say("received [" + to_utf8(command_line) + "]"); }))
        say("listener failed");
    release_instance_mutex();
    say("ready");
    char buffer[256];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    stop_instance_listener();
    return 0;
}

int send(int argc, const char* const* argv)
{
    CommandLineOptions options;
    std::string error;
    if (!parse_command_line(argc, argv, options, error)) {
        std::fputs((error + "\n").c_str(), stderr);
        return 64;
    }
    return show_running_instance_open_bracket(options.rest, application_name) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "serve")
        return serve(argc > 2 ? std::atoi(argv[2]) : 0);
    if (mode == "send")
        return send(argc - 1, argv + 1);
    std::fputs("usage: instance-probe serve [HOLD_MS] | send [ARGS...]\n", stderr);
    return 64;
}
