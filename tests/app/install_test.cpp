// The installed program: "cmake --install" into a temporary prefix lays out
// the program, its data and the desktop files; the desktop entry and the man
// page pass their tools; the installed program runs from there; and run by an
// ordinary user, with the program folder and the pictures folder read-only,
// it keeps the album list and the previews in the user's XDG folders.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tests/app/program_run.h"
#include "tests/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// nobody's ids on Debian and most systems.
constexpr int nobody = 65534;

// Runs command through the shell; its standard output and error (together)
// go to output. Returns the exit code, -1 when it did not end normally.
int run_shell(const std::string& command, const std::string& output_file, std::string& output)
{
    const int status = std::system((command + " > '" + output_file + "' 2>&1").c_str());
    output = read_file(output_file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Width and height from a PNG's header; 0 x 0 when it is not a PNG.
std::pair<int, int> png_size(const std::string& path)
{
    const std::string bytes = read_file(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {be32(16), be32(20)};
}

std::vector<std::string> regular_files(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The sub-folders of folder (names only).
std::vector<std::string> folders_in(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_directory())
            names.push_back(entry.path().filename().string());
    return names;
}

// One install for the whole suite.
class Installed : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new TempFolder("pictavio_install");
        // Other users must reach the installed program (mkdtemp makes 0700).
        chmod(s_folder->path().c_str(), 0755);
        std::string output;
        s_install_code =
            run_shell("cmake --install '" + std::string(PICTAVIO_BINARY_DIR) + "' --prefix '" + prefix() + "'",
                      s_folder->path() + "/install.txt", output);
        s_install_output = output;
    }
    static void TearDownTestSuite()
    {
        delete s_folder;
        s_folder = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_install_code, 0) << s_install_output; }

    static std::string prefix() { return s_folder->path() + "/prefix"; }
    static std::string data() { return prefix() + "/share/pictavio"; }

    static TempFolder* s_folder;
    static int s_install_code;
    static std::string s_install_output;
};

TempFolder* Installed::s_folder = nullptr;
int Installed::s_install_code = -1;
std::string Installed::s_install_output;

TEST_F(Installed, LaysOutTheProgramItsDataAndTheDesktopFilesWithoutTheDemoAlbum)
{
    for (const char* program : {"bin/pictavio", "bin/pictavio-preview"}) {
        const std::string path = prefix() + "/" + program;
        EXPECT_TRUE(fs::is_regular_file(path)) << path;
        EXPECT_EQ(access(path.c_str(), X_OK), 0) << path;
    }
    for (const char* file : {"english.lng", "german.lng", "russian.lng", "help/english.html", "skins/bin/default.skin",
                             "skins/bin/bad.bmp", "skins/bin/load.bmp"})
        EXPECT_TRUE(fs::is_regular_file(data() + "/" + file)) << file;
    // Exactly the built skin folder.
    EXPECT_EQ(regular_files(data() + "/skins/bin"), regular_files(std::string(PICTAVIO_PROGRAM_DIR) + "/skins/bin"));
    EXPECT_TRUE(fs::is_regular_file(prefix() + "/share/applications/pictavio.desktop"));
    EXPECT_TRUE(fs::is_regular_file(prefix() + "/share/man/man1/pictavio.1"));
    for (int size : {48, 128, 256}) {
        const std::string icon = prefix() + "/share/icons/hicolor/" + std::to_string(size) + "x" +
                                 std::to_string(size) + "/apps/pictavio.png";
        EXPECT_EQ(png_size(icon), std::make_pair(size, size)) << icon;
    }
    // No demo album, no album list, nothing beside the executables.
    for (const auto& entry : fs::recursive_directory_iterator(prefix())) {
        EXPECT_NE(entry.path().filename(), "demo") << entry.path();
        EXPECT_NE(entry.path().filename(), "folders.ini") << entry.path();
    }
    EXPECT_EQ(regular_files(prefix() + "/bin"), (std::vector<std::string>{"pictavio", "pictavio-preview"}));
}

TEST_F(Installed, DesktopEntryIsValidAndOpensJpegPictures)
{
    const std::string entry = prefix() + "/share/applications/pictavio.desktop";
    std::string output;
    EXPECT_EQ(run_shell("desktop-file-validate '" + entry + "'", s_folder->path() + "/validate.txt", output), 0)
        << output;
    EXPECT_EQ(output, "") << "desktop-file-validate reports nothing, not even hints";
    const std::string text = read_file(entry);
    for (const char* line : {"\nName=Pictavio\n", "\nComment=", "\nExec=pictavio %f\n", "\nIcon=pictavio\n",
                             "\nCategories=Graphics;Viewer;\n", "\nMimeType=image/jpeg;\n"})
        EXPECT_TRUE(has(text, line)) << line;
}

TEST_F(Installed, ManPageFormatsWithoutWarningsAndDocumentsTheCommandLine)
{
    const std::string page = prefix() + "/share/man/man1/pictavio.1";
    const std::string errors_file = s_folder->path() + "/man-errors.txt";
    std::string text;
    // Warnings go to standard error, kept apart from the formatted page.
    EXPECT_EQ(run_shell("MANWIDTH=80 man --warnings=w -l '" + page + "' 2> '" + errors_file + "'",
                        s_folder->path() + "/man.txt", text),
              0);
    EXPECT_EQ(read_file(errors_file), "");
    for (const char* part : {"NAME",           "SYNOPSIS",
                             "OPTIONS",        "ENVIRONMENT",
                             "FILES",          "EXIT STATUS",
                             "--size",         "--dpi",
                             "--orientation",  "--fullscreen",
                             "--display",      "--script",
                             "--scan-only",    "--help",
                             "--version",      "PICTAVIO_MY_DOCUMENTS",
                             "PICTAVIO_CARDS", "PICTAVIO_REGISTRY",
                             "XDG_DATA_HOME",  "XDG_CACHE_HOME",
                             "folders.ini",    "!pictaviocache"})
        EXPECT_TRUE(has(text, part)) << part << "\n" << text;
}

// The installed copy finds its data in share/pictavio and draws the same
// album screen as the portable program folder of the build.
TEST_F(Installed, InstalledProgramsTellTheirVersion)
{
    std::string output;
    EXPECT_EQ(run_shell("env -i PATH=/usr/bin:/bin '" + prefix() + "/bin/pictavio' --version",
                        s_folder->path() + "/version.txt", output),
              0);
    EXPECT_EQ(output, "pictavio 1.01\n");
}

// The dump without the search button and its look: a first start searches by
// itself, and the dump may come while that search still disables the button.
std::string without_search_button(const std::string& dump)
{
    std::string kept;
    std::size_t skip_deeper_than = std::string::npos;
    std::size_t start = 0;
    while (start < dump.size()) {
        std::size_t end = dump.find('\n', start);
        end = end == std::string::npos ? dump.size() : end + 1;
        const std::string line = dump.substr(start, end - start);
        const std::size_t indent = line.find_first_not_of(' ');
        if (skip_deeper_than != std::string::npos && indent > skip_deeper_than) {
            start = end;
            continue;
        }
        skip_deeper_than = std::string::npos;
        if (line.find("id=\"btnSearch\"") != std::string::npos)
            skip_deeper_than = indent;
        else
            kept += line;
        start = end;
    }
    return kept;
}

TEST_F(Installed, InstalledProgramOpensTheAlbumScreenAsThePortableOneDoes)
{
    const std::string script = "wait-for warning_text\nwait-for btnSearch\ndump\nquit\n";
    std::vector<std::string> dumps;
    for (const std::string& program : {prefix() + "/bin/pictavio", std::string(PICTAVIO_PROGRAM_DIR) + "/pictavio"}) {
        TempFolder run("pictavio_installed_run");
        const std::string root = run.path();
        fs::create_directories(root + "/card");
        fs::create_directories(root + "/documents");
        fs::create_directories(root + "/run");
        std::ofstream(root + "/script.txt") << script;
        const std::string command = "env -i PATH=/usr/bin:/bin HOME='" + root + "' TMPDIR='" + root +
                                    "' XDG_RUNTIME_DIR='" + root + "/run' PICTAVIO_CARDS='" + root +
                                    "/card' PICTAVIO_MY_DOCUMENTS='" + root + "/documents' PICTAVIO_REGISTRY='" + root +
                                    "/registry' timeout 60 '" + program + "' --display offscreen --script '" + root +
                                    "/script.txt'";
        std::string output;
        EXPECT_EQ(run_shell(command, root + "/output.txt", output), 0) << program << "\n" << output;
        const std::vector<std::string> found = dumps_of(output);
        ASSERT_EQ(found.size(), 1u) << program << "\n" << output;
        EXPECT_TRUE(has(found[0], "id=\"warning_text\"")) << found[0];
        EXPECT_TRUE(has(found[0], "id=\"btnSearch\"")) << found[0];
        dumps.push_back(without_search_button(found[0]));
    }
    EXPECT_EQ(dumps[0], dumps[1]);
}

// An ordinary user's run of the installed program: the program folder and the
// card are read-only for it, its home and XDG folders are its own.
class OrdinaryUser : public Installed {
protected:
    void SetUp() override
    {
        Installed::SetUp();
        if (HasFatalFailure())
            return;
        m_root = std::make_unique<TempFolder>("pictavio_user");
        chmod(root().c_str(), 0755);
        fs::create_directories(card());
        fs::create_directories(home());
        fs::copy(std::string(PICTAVIO_PROGRAM_DIR) + "/demo/Evening", card() + "/Evening");
        if (geteuid() == 0) {
            // Under nobody's ids the permissions really hold.
            m_as_user =
                "setpriv --reuid=" + std::to_string(nobody) + " --regid=" + std::to_string(nobody) + " --clear-groups ";
            for (const auto& entry : fs::recursive_directory_iterator(home()))
                ASSERT_EQ(chown(entry.path().c_str(), nobody, nobody), 0);
            ASSERT_EQ(chown(home().c_str(), nobody, nobody), 0);
        } else {
            // Not root: the folders are made read-only for this user instead.
            make_read_only(card());
            make_read_only(data());
            if (can_write_in(card()) || can_write_in(data()))
                GTEST_SKIP() << "neither root nor a folder this user cannot write: the read-only cases cannot be shown";
        }
    }
    void TearDown() override
    {
        if (geteuid() != 0) {
            make_writable(card());
            make_writable(data());
        }
    }

    static void make_read_only(const std::string& folder)
    {
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::remove);
        fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
    }
    static void make_writable(const std::string& folder)
    {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add, ignored);
        for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    static bool can_write_in(const std::string& folder)
    {
        const std::string probe = folder + "/probe";
        std::ofstream out(probe);
        const bool written = static_cast<bool>(out);
        out.close();
        std::error_code ignored;
        fs::remove(probe, ignored);
        return written;
    }

    std::string root() const { return m_root->path(); }
    std::string card() const { return root() + "/card"; }
    std::string home() const { return root() + "/home"; }
    std::string data_home() const { return home() + "/data"; }
    std::string cache_home() const { return home() + "/cache"; }

    // Runs an installed program as the ordinary user, with its own home,
    // XDG folders and registry and the card as the only search root.
    int run_as_user(const std::string& program, const std::string& arguments, std::string& output) const
    {
        const std::string command = m_as_user + "env -i PATH=/usr/bin:/bin HOME='" + home() + "' TMPDIR='" + home() +
                                    "' XDG_DATA_HOME='" + data_home() + "' XDG_CACHE_HOME='" + cache_home() +
                                    "' PICTAVIO_CARDS='" + card() + "' PICTAVIO_MY_DOCUMENTS='" + home() +
                                    "/Pictures' PICTAVIO_REGISTRY='" + home() + "/registry' timeout 120 '" + prefix() +
                                    "/bin/" + program + "' " + arguments;
        return run_shell(command, root() + "/output.txt", output);
    }

    // The one preview folder the user's cache holds for the card.
    std::string cache_preview_folder() const
    {
        const std::vector<std::string> roots = folders_in(cache_home() + "/pictavio");
        return roots.size() == 1 ? cache_home() + "/pictavio/" + roots[0] + "/!pictaviocache" : std::string();
    }

    std::unique_ptr<TempFolder> m_root;
    std::string m_as_user;
};

TEST_F(OrdinaryUser, ReadOnlyProgramAndPicturesFoldersKeepTheirFilesInTheUsersXdgFolders)
{
    std::string output;
    ASSERT_EQ(run_as_user("pictavio", "--scan-only", output), 0) << output;
    EXPECT_TRUE(has(output, "previews complete\n")) << output;
    EXPECT_TRUE(has(output, "1 albums\nEvening\t3\t" + card() + "/Evening/")) << output;

    // The album list in the data folder, nothing written beside the program.
    EXPECT_TRUE(fs::is_regular_file(data_home() + "/pictavio/folders.ini"));
    EXPECT_FALSE(fs::exists(data() + "/folders.ini"));

    // Every preview in the cache folder, ready; none on the card.
    EXPECT_FALSE(fs::exists(card() + "/!pictaviocache"));
    const std::string previews = cache_preview_folder();
    ASSERT_FALSE(previews.empty()) << "one folder for the card under " << cache_home() << "/pictavio";
    const std::vector<std::string> names = regular_files(previews);
    ASSERT_EQ(names.size(), 3u);
    for (const std::string& name : names)
        EXPECT_EQ(read_file(previews + "/" + name).substr(0, 4), std::string("\x11\0\0\0", 4)) << name;

    // Thumbnails and full-resolution tiles (the picture is 1280 x 960: zoom
    // 3 is its full size) come from there, the same as from a preview built
    // beside a copy of the picture.
    const std::string picture = card() + "/Evening/DSC_1001.jpg";
    const std::string out = home() + "/out";
    ASSERT_EQ(
        run_as_user("pictavio-preview", "thumb '" + picture + "' '" + card() + "/' '" + out + "-thumb.bmp'", output), 0)
        << output;
    ASSERT_EQ(run_as_user("pictavio-preview", "tile '" + picture + "' '" + card() + "/' 1 1 3 '" + out + "-tile.bmp'",
                          output),
              0)
        << output;
    const std::string reference = root() + "/reference";
    fs::create_directories(reference);
    fs::copy_file(picture, reference + "/DSC_1001.jpg");
    const std::string tool = "'" + prefix() + "/bin/pictavio-preview' ";
    ASSERT_EQ(
        run_shell(tool + "build '" + reference + "/DSC_1001.jpg' '" + reference + "/'", root() + "/r.txt", output), 0)
        << output;
    ASSERT_EQ(
        run_shell(tool + "thumb '" + reference + "/DSC_1001.jpg' '" + reference + "/' '" + reference + "/thumb.bmp'",
                  root() + "/r.txt", output),
        0);
    ASSERT_EQ(run_shell(tool + "tile '" + reference + "/DSC_1001.jpg' '" + reference + "/' 1 1 3 '" + reference +
                            "/tile.bmp'",
                        root() + "/r.txt", output),
              0);
    EXPECT_EQ(read_file(out + "-thumb.bmp"), read_file(reference + "/thumb.bmp"));
    EXPECT_EQ(read_file(out + "-tile.bmp"), read_file(reference + "/tile.bmp"));

    // The next search deletes stale previews there: one of a picture that is
    // gone and one left over from an interrupted build.
    if (geteuid() != 0)
        make_writable(card());
    const std::vector<std::string> before = regular_files(previews);
    fs::remove(card() + "/Evening/DSC_1003.jpg");
    if (geteuid() != 0)
        make_read_only(card());
    std::ofstream(previews + "/1234567745612.250000") << "interrupted";
    ASSERT_EQ(run_as_user("pictavio", "--scan-only", output), 0) << output;
    EXPECT_TRUE(has(output, "1 albums\nEvening\t2\t")) << output;
    const std::vector<std::string> after = regular_files(previews);
    EXPECT_EQ(after.size(), 2u);
    for (const std::string& name : after)
        EXPECT_NE(std::find(before.begin(), before.end(), name), before.end()) << name << " was there before";
}

}  // namespace
