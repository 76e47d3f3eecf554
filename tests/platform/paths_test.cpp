#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "sandbox.h"

namespace {

String program_folder()
{
    return from_utf8(std::filesystem::canonical("/proc/self/exe").parent_path().string());
}

}  // namespace

TEST(ExpandPath, ProgramMacros)
{
    const String folder = program_folder();
    EXPECT_EQ(expand_path(u"%app_path%"), folder);
    EXPECT_EQ(expand_path(u"%app_path%/skins/bin/default.skin"), folder + u"/skins/bin/default.skin");
    EXPECT_EQ(expand_path(u"%app_name%.txt"), u"tests_platform.txt");
    EXPECT_EQ(expand_path(u"%app_full_name%"), folder + u"/tests_platform");
    EXPECT_EQ(expand_path(u"%program_files%"), parent_folder(folder));
    EXPECT_EQ(get_app_path(), folder + u"/tests_platform");
}

TEST(ExpandPath, MacroOnlyAtTheStartAndSeparatorsConverted)
{
    EXPECT_EQ(expand_path(u"x/%app_path%"), u"x/%app_path%");
    EXPECT_EQ(expand_path(u"\\Temp\\x.txt"), u"/Temp/x.txt");
    EXPECT_EQ(expand_path(u"%windows%\\a"), u"/a");
    EXPECT_EQ(expand_path(u"%app_path"), u"%app_path");
    EXPECT_EQ(expand_path(u""), u"");
}

TEST(ExpandPath, SpecialFolders)
{
    const String home = from_utf8(std::getenv("HOME"));
    EXPECT_EQ(expand_path(u"%programs%"), home + u"/.local/share/applications");
    EXPECT_EQ(expand_path(u"%start_menu%"), home + u"/.local/share/applications");
    EXPECT_EQ(expand_path(u"%startup%"), home + u"/.config/autostart");
    EXPECT_NE(expand_path(u"%program_files%"), expand_path(u"%programs%"));
    EXPECT_EQ(expand_path(u"%my_documents%\\"), home + u"/Pictures/");

    make_folder(".config");
    write_bytes(sandbox() + "/.config/user-dirs.dirs",
                "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(expand_path(u"%my_documents%"), home + u"/Bilder");

    setenv("PICTAVIO_MY_DOCUMENTS", "/srv/photos", 1);
    EXPECT_EQ(expand_path(u"%my_documents%/a"), u"/srv/photos/a");
    unsetenv("PICTAVIO_MY_DOCUMENTS");
    std::filesystem::remove(sandbox() + "/.config/user-dirs.dirs");
}

TEST(PathHelpers, SplitAndJoin)
{
    EXPECT_EQ(folder_of(u"/a/b.txt"), u"/a/");
    EXPECT_EQ(folder_of(u"b.txt"), u"");
    EXPECT_EQ(folder_of(u"\\x\\y"), u"\\x\\");
    EXPECT_EQ(file_name_of(u"/a/b.txt"), u"b.txt");
    EXPECT_EQ(file_name_of(u"b.txt"), u"b.txt");
    EXPECT_EQ(strip_trailing_separator(u"/a/"), u"/a");
    EXPECT_EQ(strip_trailing_separator(u"/a//"), u"/a/");
    EXPECT_EQ(extension_position(u"\\a.b\\c"), std::nullopt);
    EXPECT_EQ(extension_position(u"a.b.c"), 3u);
    EXPECT_EQ(base_name(u"\\x\\english.lng"), u"english");
    EXPECT_EQ(base_name(u"/x/.lng"), u"");
    EXPECT_EQ(without_extension(u"/x.y/z"), u"/x.y/z");
    EXPECT_EQ(join_path(u"", u"n"), u"n");
    EXPECT_EQ(join_path(u"/a/", u"n"), u"/a/n");
    EXPECT_EQ(join_path(u"%my_documents%\\", u"n"), u"%my_documents%/n");
    EXPECT_EQ(parent_folder(u"/a/b/"), u"/a/");
    EXPECT_EQ(parent_folder(u"/"), u"");
}

TEST(PathHelpers, ComparisonIgnoresCaseAndTrailingSeparator)
{
    EXPECT_TRUE(same_path(u"/Media/Card/", u"\\media\\card"));
    EXPECT_FALSE(same_path(u"/media/card1", u"/media/card"));
    EXPECT_TRUE(same_path(u"%app_path%", program_folder() + u"/"));
    EXPECT_TRUE(starts_with_path(u"/media/CARD/DCIM/x.jpg", u"/media/card/"));
    EXPECT_TRUE(starts_with_path(u"/media/card", u"/media/card/"));
    EXPECT_FALSE(starts_with_path(u"/media/card10/x.jpg", u"/media/card1"));
    EXPECT_TRUE(starts_with_path(u"%app_path%/x", program_folder()));
}

TEST(CreateDirectoryPath, CreatesEveryAncestorAndLogsEachAttempt)
{
    const std::string root = make_folder("dirs");
    set_log_switch(1);
    create_directory_path(from_utf8(root + "/a/b/"));
    log().flush();
    set_log_switch(0);
    log();
    EXPECT_TRUE(std::filesystem::is_directory(root + "/a/b"));

    const String text = [] {
        const std::string bytes = read_bytes(to_utf8(log_file_path()));
        String decoded;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            decoded += char16_t(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
        return decoded;
    }();
    const String folder = from_utf8(root);
    const String expected_tail = u"CreateDirectoryW {" + folder + u"} result=false\n" + u"CreateDirectoryW {" + folder +
                                 u"/a} result=true\n" + u"CreateDirectoryW {" + folder + u"/a/b} result=true\n";
    EXPECT_EQ(text.substr(0, 27), u"CreateDirectoryW {} result=");
    ASSERT_GE(text.size(), expected_tail.size());
    EXPECT_EQ(text.substr(text.size() - expected_tail.size()), expected_tail);
}

TEST(ExecuteFile, PassesThePathAsOneArgumentWithoutAShell)
{
    const std::string bin = make_folder("bin");
    const std::string record = sandbox() + "/opened";
    write_bytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > " + record + "\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    const std::string old_path = std::getenv("PATH");
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    set_log_switch(1);
    const bool started = execute_file(u"/x/a b;touch injected", u"-p");
    log().flush();
    set_log_switch(0);
    log();
    EXPECT_NE(read_bytes(to_utf8(log_file_path())).find(utf16le(u"execute_file(/x/a b;touch injected} {-p)\n", false)),
              std::string::npos);
    for (int i = 0; i < 500 && read_bytes(record).empty(); ++i)
        usleep(10000);
    setenv("PATH", "/nonexistent", 1);
    const bool missing = execute_file(u"/x", u"");
    setenv("PATH", old_path.c_str(), 1);

    EXPECT_TRUE(started);
    EXPECT_EQ(read_bytes(record), "1|/x/a b;touch injected");
    EXPECT_FALSE(std::filesystem::exists("injected"));
    EXPECT_FALSE(missing);
}

// A program whose own path does not fit ends through fatal_error, and the
// report (which names the log file after the program) does not recurse.
TEST(GetAppPath, OverlongProgramPathEndsTheProcessWithItsReport)
{
    const std::string probe = std::string(PICTAVIO_TOOLS_DIR) + "/instance-probe";
    ASSERT_TRUE(std::filesystem::exists(probe));
    const std::string root = make_folder("long");
    set_log_switch(1);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Descend step by step: the whole path is longer than any path the system takes at once.
        if (chdir(root.c_str()) != 0)
            _exit(90);
        const std::string step(200, 'd');
        for (int level = 0; level < 22; ++level)
            if (mkdir(step.c_str(), 0700) != 0 || chdir(step.c_str()) != 0)
                _exit(91);
        std::error_code failed;
        std::filesystem::copy_file(probe, "probe", failed);
        if (failed)
            _exit(92);
        execl("./probe", "probe", "send", static_cast<char*>(nullptr));
        _exit(93);
    }
    // A deadlock in the report would leave the child hanging: give up after 20 s.
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 2000) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(10000);
    }
    set_log_switch(0);
    log();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string bytes = read_bytes(sandbox() + "/.txt");
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += bytes[i];
    EXPECT_NE(text.find("Gluck: path is more then MAX_PATH long @ get_app_path()\n"), std::string::npos) << text;
}
