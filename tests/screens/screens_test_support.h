#pragma once
// Shared pieces of the screen tests: the default skin as the build draws it,
// the element kinds, and a photo library over a temporary tree whose worker
// is not started, so that every event a test sees is one it delivers.

#include <gtest/gtest.h>
#include <memory>
#include "elements/element_types.h"
#include "library/folders_ini.h"
#include "skin/element_type_registry.h"
#include "skin/properties.h"
#include "tests/library/exif_test_pictures.h"
#include "tests/library/library_test_support.h"

class ScreenTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ElementTypeRegistry& registry = ElementTypeRegistry::instance();
        if (!registry.is_registered(u"node"))
            register_element_types(registry);
    }

    void SetUp() override
    {
        use_library_environment(tree, {"card"}, "documents");
        const String skin_file = from_utf8(std::string(PICTAVIO_PROGRAM_DIR) + "/skins/bin/default.skin");
        ASSERT_TRUE(skin.load_skin(skin_file, 96)) << "the default skin is built with the program folder";
        skin.translations().load_language_file(from_utf8(std::string(PICTAVIO_SOURCE_DIR) + "/data/english.lng"));
    }

    // Starts the library (worker stopped) over the albums written to folders.ini first.
    PhotoLibrary& start_library(const std::vector<Folder>& albums = {})
    {
        const String folders_file = tree.path16("folders.ini");
        EXPECT_TRUE(write_folders_file(folders_file, albums));
        library = std::make_unique<PhotoLibrary>(folders_file, false);
        return *library;
    }

    // An album record of the card's folder with its first picture as key picture.
    Folder album_of(const std::string& folder, const std::string& key_picture, int size) const
    {
        Folder album;
        album.drive_path = tree.path16("card") + u"/";
        album.folder_path = tree.path16("card/" + folder) + u"/";
        album.key_picture_path = tree.path16("card/" + folder + "/" + key_picture);
        album.size = size;
        return album;
    }

    // A thumbnail shows the four colours in its quarters, upright (checked
    // a quarter of the way in from each corner, inside the frame's edge).
    static void expect_quarters(const PixelBuffer& thumbnail, const exif_test::Quarters& colours)
    {
        const int near_x = thumbnail.width() / 4, far_x = thumbnail.width() - 1 - near_x;
        const int near_y = thumbnail.height() / 4, far_y = thumbnail.height() - 1 - near_y;
        const Point points[4] = {{near_x, near_y}, {far_x, near_y}, {near_x, far_y}, {far_x, far_y}};
        for (int i = 0; i < 4; ++i) {
            const Pixel expected = rgb_to_pixel(colours[i].r, colours[i].g, colours[i].b) | 0x0020;
            EXPECT_LE(exif_test::pixel_distance(thumbnail.at(points[i].x, points[i].y), expected), 3)
                << "quarter " << i;
        }
    }

    TempTree tree;
    Properties skin;
    std::unique_ptr<PhotoLibrary> library;
};
