// Properties: loading a skin all or nothing, the typed lookups with their
// scaling rules, the listeners and the log lines.

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include "pixels/bmp_writer.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "skin/properties.h"
#include "skinfile_support.h"

static const char* const skin_a = R"(
bitmap buttons = "buttons"
bitmap back = "back"
font caption = "9 1 0 0 Tahoma"
font title = "10 0 1 0 Sans"
node Main {
    int cache = 3
    font font = title
    point border_min = 3 -2
    string type = "node"
    picture normal = buttons 1 2 4 5 28 29 32 30 flag
    picture back = back 0 0 8 8
    color outside_color = 10 20 30
    node {
        string type = "color"
    }
    node {
    }
}
node Empty {
}
)";

static const char* const skin_b = R"(
bitmap other = "other"
node Other {
    picture normal = other 0 0 4 4
}
)";

class PropertiesTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "properties_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern + "/";
        write_bitmap("buttons", 32, 32, 0x1234);
        write_bitmap("back", 8, 8, 0x0020);
        write_bitmap("other", 4, 4, 0xFFFF);
        write_skin("a.skin", skin_a);
        write_skin("b.skin", skin_b);
    }

    void write_bitmap(const std::string& name, int width, int height, Pixel value)
    {
        auto pixels = PixelBuffer::create(width, height);
        pixels->clear(value);
        ASSERT_TRUE(write_bmp_565(from_utf8(m_folder + name + ".bmp"), *pixels));
    }
    void write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream(m_folder + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void write_skin(const std::string& name, const char* description)
    {
        write_bytes(name, compile_or_fail(description));
    }
    // An 8-bit BMP header: readable, but not a 16-bit bitmap.
    void write_8bit_bitmap(const std::string& name)
    {
        std::vector<std::uint8_t> bytes(54 + 1024 + 8, 0);
        bytes[0] = 'B';
        bytes[1] = 'M';
        patch<std::uint32_t>(bytes, 10, 54 + 1024);
        patch<std::uint32_t>(bytes, 14, 40);
        patch<std::int32_t>(bytes, 18, 2);
        patch<std::int32_t>(bytes, 22, 2);
        patch<std::uint16_t>(bytes, 26, 1);
        patch<std::uint16_t>(bytes, 28, 8);
        write_bytes(name + ".bmp", bytes);
    }
    String path(const std::string& name) const { return from_utf8(m_folder + name); }

    std::string m_folder;
    Properties m_properties;
};

TEST_F(PropertiesTest, ReadsEveryTypeUnscaledBelow192Dpi)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 191));
    EXPECT_EQ(m_properties.scale_shift(), 0);
    const SkinNode* main = m_properties.find_node(u"Main");
    ASSERT_NE(main, nullptr);

    EXPECT_EQ(m_properties.get_int(main, u"cache", -1), 3);
    EXPECT_EQ(m_properties.get_point(main, u"border_min", {}), (Point{3, -2}));
    EXPECT_EQ(m_properties.get_string(main, u"type", u""), u"node");
    EXPECT_EQ(m_properties.get_color(main, u"outside_color", Color{0, 0, 0, 7}), (Color{10, 20, 30, 255}));

    const Font& font = m_properties.get_font(main, u"font", Font());
    EXPECT_TRUE(font == m_properties.skin().fonts()[1]);
    EXPECT_EQ(font->spec().point_size, 10);
    EXPECT_TRUE(font->spec().italic);
    EXPECT_EQ(font->spec().scale, 1);

    const SkinPicture normal = m_properties.get_picture(main, u"normal", SkinPicture());
    EXPECT_EQ(normal.origin, (Point{1, 2}));
    EXPECT_EQ(normal.inner_top_left, (Point{4, 5}));
    EXPECT_EQ(normal.inner_bottom_right, (Point{28, 29}));
    EXPECT_EQ(normal.size_corner, (Point{32, 30}));
    EXPECT_EQ(normal.scale_shift, 0);
    EXPECT_TRUE(normal.flag);
    EXPECT_EQ(normal.bitmap.get(), m_properties.skin().bitmaps()[0]);
    EXPECT_EQ(normal.bitmap->size(), (Size{32, 32}));
    EXPECT_EQ(normal.bitmap->pixels()->at(5, 5), 0x1234);
    EXPECT_FALSE(m_properties.get_picture(main, u"back", SkinPicture()).flag);
}

TEST_F(PropertiesTest, PointsPicturesAndFontsDoubleFrom192Dpi)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 192));
    EXPECT_EQ(m_properties.scale_shift(), 1);
    const SkinNode* main = m_properties.find_node(u"Main");
    EXPECT_EQ(m_properties.get_point(main, u"border_min", {}), (Point{6, -4}));
    EXPECT_EQ(m_properties.get_int(main, u"cache", -1), 3);
    EXPECT_EQ(m_properties.get_font(main, u"font", Font())->spec().scale, 2);
    EXPECT_EQ(m_properties.get_font(main, u"font", Font())->spec().point_size, 10);

    const SkinPicture normal = m_properties.get_picture(main, u"normal", SkinPicture());
    EXPECT_EQ(normal.origin, (Point{2, 4}));
    EXPECT_EQ(normal.inner_bottom_right, (Point{56, 58}));
    EXPECT_EQ(normal.size_corner, (Point{64, 60}));
    EXPECT_EQ(normal.scale_shift, 1);
    // The bitmap itself stays at its design size.
    EXPECT_EQ(normal.bitmap->size(), (Size{32, 32}));
    // Defaults come back as given, never scaled.
    EXPECT_EQ(m_properties.get_point(main, u"missing", {5, 7}), (Point{5, 7}));
}

TEST_F(PropertiesTest, MissingKeysEmptyTablesAndNullNodesGiveTheDefaults)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 96));
    const Font fallback_font;
    const String fallback_text = u"fallback";
    SkinPicture fallback_picture;
    fallback_picture.size_corner = {9, 9};
    for (const SkinNode* node :
         {m_properties.find_node(u"Empty"), m_properties.find_node(u"Main"), static_cast<const SkinNode*>(nullptr)}) {
        EXPECT_EQ(m_properties.get_int(node, u"missing", 42), 42);
        EXPECT_EQ(&m_properties.get_font(node, u"missing", fallback_font), &fallback_font);
        EXPECT_EQ(&m_properties.get_string(node, u"missing", fallback_text), &fallback_text);
        EXPECT_EQ(m_properties.get_point(node, u"missing", {1, 2}), (Point{1, 2}));
        EXPECT_EQ(m_properties.get_picture(node, u"missing", fallback_picture), fallback_picture);
        EXPECT_EQ(m_properties.get_color(node, u"missing", Color{1, 2, 3, 4}), (Color{1, 2, 3, 4}));
    }
    // A key is looked for only in the table of its own type.
    const SkinNode* main = m_properties.find_node(u"Main");
    EXPECT_EQ(m_properties.get_point(main, u"cache", {-1, -1}), (Point{-1, -1}));
    EXPECT_EQ(m_properties.get_int(main, u"border_min", -1), -1);
}

TEST_F(PropertiesTest, NodesAndChildren)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 96));
    const SkinNode* main = m_properties.find_node(u"Main");
    ASSERT_EQ(m_properties.child_count(main), 2);
    EXPECT_EQ(m_properties.get_string(m_properties.child(main, 0), u"type", u""), u"color");
    EXPECT_EQ(m_properties.get_string(m_properties.child(main, 1), u"type", u"none"), u"none");
    EXPECT_EQ(m_properties.child_count(nullptr), 0);
    EXPECT_EQ(m_properties.find_node(u"Missing"), nullptr);
}

TEST_F(PropertiesTest, FailedLoadsLeaveTheLiveSkinUntouched)
{
    EXPECT_FALSE(m_properties.load_skin(path("missing.skin"), 96));
    EXPECT_FALSE(m_properties.is_loaded());
    EXPECT_EQ(m_properties.find_node(u"Main"), nullptr);

    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 96));
    const SkinNode* main = m_properties.find_node(u"Main");

    EXPECT_FALSE(m_properties.load_skin(path("missing.skin"), 192));
    std::vector<std::uint8_t> damaged = compile_or_fail(skin_b);
    damaged.resize(damaged.size() - 1);
    write_bytes("damaged.skin", damaged);
    EXPECT_FALSE(m_properties.load_skin(path("damaged.skin"), 192));
    write_8bit_bitmap("back8");
    std::string eight_bit = skin_a;
    eight_bit.replace(eight_bit.find("\"back\""), 6, "\"back8\"");
    write_skin("eight.skin", eight_bit.c_str());
    EXPECT_FALSE(m_properties.load_skin(path("eight.skin"), 192));
    std::string missing_bitmap = skin_a;
    missing_bitmap.replace(missing_bitmap.find("\"back\""), 6, "\"gone\"");
    write_skin("gone.skin", missing_bitmap.c_str());
    EXPECT_FALSE(m_properties.load_skin(path("gone.skin"), 192));

    EXPECT_EQ(m_properties.find_node(u"Main"), main);
    EXPECT_EQ(m_properties.scale_shift(), 0);
    EXPECT_EQ(m_properties.get_int(main, u"cache", -1), 3);
    EXPECT_EQ(m_properties.skin().pictures().size(), 2u);
}

TEST_F(PropertiesTest, PicturesAndFontsHandedOutOutliveASwap)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 96));
    const SkinPicture before = m_properties.get_picture(m_properties.find_node(u"Main"), u"normal", SkinPicture());
    const Font font = m_properties.get_font(m_properties.find_node(u"Main"), u"font", Font());

    ASSERT_TRUE(m_properties.load_skin(path("b.skin"), 96));
    EXPECT_EQ(m_properties.find_node(u"Main"), nullptr);
    const SkinPicture after = m_properties.get_picture(m_properties.find_node(u"Other"), u"normal", SkinPicture());
    EXPECT_EQ(after.bitmap->pixels()->at(0, 0), 0xFFFF);
    EXPECT_EQ(before.bitmap->pixels()->at(0, 0), 0x1234);
    EXPECT_EQ(before.bitmap->name(), path("buttons"));
    EXPECT_FALSE(before == after);
    EXPECT_EQ(font->spec().point_size, 10);
}

TEST_F(PropertiesTest, PictureEqualityIgnoresOnlyTheFlag)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 96));
    const SkinNode* main = m_properties.find_node(u"Main");
    const SkinPicture normal = m_properties.get_picture(main, u"normal", SkinPicture());
    SkinPicture unflagged = normal;
    unflagged.flag = false;
    EXPECT_EQ(normal, unflagged);
    EXPECT_EQ(normal, m_properties.get_picture(main, u"normal", SkinPicture()));
    SkinPicture moved = normal;
    moved.inner_top_left.x += 1;
    EXPECT_FALSE(normal == moved);
    SkinPicture shifted = normal;
    shifted.scale_shift = 1;
    EXPECT_FALSE(normal == shifted);
    EXPECT_FALSE(normal == m_properties.get_picture(main, u"back", SkinPicture()));
}

// Records the order in which listeners are told.
class RecordingListener : public SkinListener {
public:
    RecordingListener(Properties& properties, std::vector<int>& calls, int id)
        : SkinListener(properties), m_calls(calls), m_id(id)
    {
    }
    void on_skin_reloaded(Properties&) override
    {
        m_calls.push_back(m_id);
        if (on_call)
            on_call();
    }
    std::function<void()> on_call;

private:
    std::vector<int>& m_calls;
    int m_id;
};

TEST_F(PropertiesTest, ListenersAreToldInRegistrationOrderWhileRegistered)
{
    std::vector<int> calls;
    RecordingListener first(m_properties, calls, 1);
    auto gone = std::make_unique<RecordingListener>(m_properties, calls, 2);
    RecordingListener third(m_properties, calls, 3);
    gone.reset();
    m_properties.send_reload_skin();
    EXPECT_EQ(calls, (std::vector<int>{1, 3}));
}

TEST_F(PropertiesTest, ListenersComingAndGoingDuringTheCallAreSafe)
{
    std::vector<int> calls;
    RecordingListener first(m_properties, calls, 1);
    auto second = std::make_unique<RecordingListener>(m_properties, calls, 2);
    std::unique_ptr<RecordingListener> late;
    first.on_call = [&] {
        second.reset();  // a screen destroying another while it rebuilds
        late = std::make_unique<RecordingListener>(m_properties, calls, 3);
    };
    m_properties.send_reload_skin();
    EXPECT_EQ(calls, (std::vector<int>{1}));
    first.on_call = nullptr;
    m_properties.send_reload_skin();
    EXPECT_EQ(calls, (std::vector<int>{1, 1, 3}));
}

TEST_F(PropertiesTest, ListenerOutlivingItsPropertiesIsSafe)
{
    std::vector<int> calls;
    std::optional<Properties> properties;
    properties.emplace();
    auto outliving = std::make_unique<RecordingListener>(*properties, calls, 1);
    properties.reset();
    // A new Properties in the same place knows only its own listeners, before
    // and after the old listener goes (the sanitizer build also catches a
    // touch of the freed one).
    properties.emplace();
    RecordingListener current(*properties, calls, 2);
    properties->send_reload_skin();
    outliving.reset();
    properties->send_reload_skin();
    EXPECT_EQ(calls, (std::vector<int>{2, 2}));
}

TEST_F(PropertiesTest, TranslateFallsBackToTheKey)
{
    EXPECT_EQ(m_properties.translate(u"NoSkins"), u"NoSkins");
}

// Switches the log on into a fresh file for the test and reads it back.
class PropertiesLogTest : public PropertiesTest {
protected:
    void SetUp() override
    {
        PropertiesTest::SetUp();
        save_environment("PICTAVIO_REGISTRY");
        save_environment("TMPDIR");
        setenv("PICTAVIO_REGISTRY", (m_folder + "registry").c_str(), 1);
        setenv("TMPDIR", m_folder.c_str(), 1);
        ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 0));
        log();
        ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 1));
        log();
    }
    void TearDown() override
    {
        write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 0);
        log();
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void save_environment(const std::string& name)
    {
        const char* value = std::getenv(name.c_str());
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    String log_text() const
    {
        const String file = temp_folder() + u"/" + expand_path(u"%app_name%.txt");
        std::ifstream in(to_utf8(file), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        String text(bytes.size() / 2, u'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * 2);
        return text.substr(text.empty() ? 0 : 1);  // without the byte-order mark
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(PropertiesLogTest, LoadingWritesItsSteps)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 96));
    const String text = log_text();
    for (const char16_t* line : {u"Properties::load_skin 1\n", u"sizeof(Node*4)=8\n", u"sizeof(IntegerNode*4)=32\n",
                                 u"sizeof(PictureNode)=20\nPictureNode::Size=20\n", u"Properties::load_skin 2\n",
                                 u"Properties::load_skin 3\n", u"PropertiesImpl::PropertiesImpl fonts create time="})
        EXPECT_NE(text.find(line), String::npos) << to_utf8(line);
    EXPECT_NE(text.find(u"PropertiesImpl::PropertiesImpl picture load time="), String::npos);
    EXPECT_NE(text.find(u" {back}\n"), String::npos);
}

// Each font's line names the display's dpi and the character height at 96 dpi
// times the skin's scale (1 below 192 dpi).
TEST_F(PropertiesLogTest, FontLinesNameTheDisplaysDpi)
{
    ASSERT_TRUE(m_properties.load_skin(path("a.skin"), 144));
    const String text = log_text();
    EXPECT_NE(text.find(u"dpiy=144 log_font.lfHeight=-12}\n"), String::npos) << to_utf8(text);
    EXPECT_NE(text.find(u"dpiy=144 log_font.lfHeight=-13}\n"), String::npos) << to_utf8(text);
}

TEST_F(PropertiesLogTest, ABitmapThatFailsIsNamed)
{
    write_8bit_bitmap("back8");
    std::string eight_bit = skin_a;
    eight_bit.replace(eight_bit.find("\"back\""), 6, "\"back8\"");
    write_skin("eight.skin", eight_bit.c_str());
    ASSERT_FALSE(m_properties.load_skin(path("eight.skin"), 96));
    const String text = log_text();
    const auto refused = text.find(u" is not 16bit bitmap\n");
    const auto failed = text.find(u"PropertiesImpl::PropertiesImpl picture failed to load {back8}\n");
    EXPECT_NE(refused, String::npos);
    EXPECT_NE(failed, String::npos);
    EXPECT_LT(refused, failed);
    EXPECT_EQ(text.find(u"Properties::load_skin 3\n"), String::npos);
}

TEST_F(PropertiesLogTest, ReloadWithoutListenersOnlyLogs)
{
    m_properties.send_reload_skin();
    const String text = log_text();
    EXPECT_EQ(text.rfind(u"PropertiesImpl::send_reload_skin the rest time=", 0), 0u);
    EXPECT_EQ(text.back(), u'\n');
}
