#pragma once
// One running copy per user: a second copy hands its command line to the
// first and ends. The instance lock is the file "VestrelClass_<name>.lock"
// (flock) and the running copy listens on the Unix socket "VestrelClass_<name>",
// both in $XDG_RUNTIME_DIR (else /tmp/pictavio-<uid>). Process-wide state.

#include <functional>
#include "platform/text.h"

// Receives a command line handed over by a later copy, on the listener thread
// ("%CommandLineEmpty%" already turned into an empty text).
using CommandLineReceiver = std::function<void(const String& command_line)>;

// Takes the instance lock (waiting while another copy is still starting) and
// hands command_line to a running copy; true when one was found and told, and
// the caller then ends at once. False also when the lock cannot be made (the
// program then runs unprotected).
bool show_running_instance_open_bracket(StringView command_line, StringView application_name);
// Makes this copy reachable for later copies (the stand-in for its main
// window); call before release_instance_mutex(). False when the socket cannot
// be opened, and when no socket path is known (the check did not run or found
// no private folder).
bool start_instance_listener(CommandLineReceiver receiver);
// Releases the instance lock; later calls do nothing.
void release_instance_mutex();
// Stops listening and removes the socket; later calls do nothing.
void stop_instance_listener();

// Marks a message box of this copy as shown for as long as it lives. The
// window cannot take a command line then, so a later copy gets the box raised
// instead and ends without handing its command line over. raise runs on the
// listener thread; the destructor waits for a raise in progress. Nested boxes
// restore the outer one's raise when they go.
class InstanceDialog {
public:
    explicit InstanceDialog(std::function<void()> raise);
    ~InstanceDialog();
    InstanceDialog(const InstanceDialog&) = delete;
    InstanceDialog& operator=(const InstanceDialog&) = delete;

private:
    std::function<void()> m_outer_raise;
};
