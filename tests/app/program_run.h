#pragma once
// Running the real program end to end: a private copy of the built program
// folder, a card, documents and runtime folder of its own, and a script that
// drives the offscreen display; the output comes back for the checks.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/temp_folder.h"

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The element trees the script dumped, in order.
inline std::vector<std::string> dumps_of(const std::string& output)
{
    std::vector<std::string> dumps;
    std::size_t at = 0;
    while ((at = output.find("dump begin\n", at)) != std::string::npos) {
        const std::size_t end = output.find("dump end\n", at);
        if (end == std::string::npos)
            break;
        dumps.push_back(output.substr(at, end - at));
        at = end;
    }
    return dumps;
}

inline bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The program's folders under one temporary root.
class ProgramRun {
public:
    explicit ProgramRun(const std::string& name) : m_root(name) {}

    // Copies the built program folder, less the demo albums and folders.ini so
    // that folders.ini and the log stay in the test, and makes the card,
    // documents and runtime folders (the runtime one private, so runs in
    // parallel are not one instance).
    void prepare()
    {
        const std::string built = PICTAVIO_PROGRAM_DIR;
        std::filesystem::create_directories(program());
        for (const auto& entry : std::filesystem::directory_iterator(built))
            if (entry.path().filename() != "demo" && entry.path().filename() != "folders.ini")
                std::filesystem::copy(entry.path(), program() + "/" + entry.path().filename().string(),
                                      std::filesystem::copy_options::recursive);
        std::filesystem::create_directories(card());
        std::filesystem::create_directories(documents());
        std::filesystem::create_directories(runtime());
        std::filesystem::permissions(runtime(), std::filesystem::perms::owner_all);
    }

    const std::string& root() const { return m_root.path(); }
    std::string program() const { return root() + "/program"; }
    std::string card() const { return root() + "/card"; }
    std::string documents() const { return root() + "/documents"; }
    std::string runtime() const { return root() + "/run"; }

    // Runs the program on the offscreen display with script, the options
    // and the extra environment given, stopped after timeout_seconds; its
    // standard output and error go to output. Returns the exit code.
    int run(const std::string& script, const std::string& options, const std::string& environment, int timeout_seconds,
            std::string& output) const
    {
        const std::string script_file = root() + "/script.txt";
        std::ofstream(script_file) << script;
        const std::string output_file = root() + "/output.txt";
        const std::string command =
            "cd '" + root() + "' && XDG_RUNTIME_DIR='" + runtime() + "' " + environment + " PICTAVIO_CARDS='" + card() +
            "' PICTAVIO_MY_DOCUMENTS='" + documents() + "' PICTAVIO_REGISTRY='" + root() + "/registry' timeout " +
            std::to_string(timeout_seconds) + " '" + program() + "/pictavio' --display offscreen " + options +
            " --script '" + script_file + "' > '" + output_file + "' 2>&1";
        const int status = std::system(command.c_str());
        output = read_file(output_file);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    TempFolder m_root;
};
