#pragma once
// Every test process runs in its own sandbox folder: HOME, TMPDIR, the
// registry file and the runtime folder point into it, so no test touches the
// user's files and tests may run in parallel.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

// The process's sandbox folder (created on first use, removed at exit).
const std::string& sandbox();
// A fresh, empty folder inside the sandbox.
std::string make_folder(const std::string& name);
// Writes bytes to path, replacing it.
void write_bytes(const std::string& path, const std::string& bytes);
// The whole content of path ("" when missing).
std::string read_bytes(const std::string& path);
// UTF-16LE bytes of text, with an FF FE byte-order mark in front when bom is set.
std::string utf16le(StringView text, bool bom = true);
// Sets the registry value "Log" (under the program's key) to value.
void set_log_switch(std::uint32_t value);
