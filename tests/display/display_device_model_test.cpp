// Device models from the OEM text and their orientation correction.

#include <gtest/gtest.h>
#include "display/device_model.h"

TEST(DisplayDeviceModelTest, KnownNamesAreRecognised)
{
    EXPECT_EQ(device_model_from_oem_text("Compaq iPAQ H3800"), 1);
    EXPECT_EQ(device_model_from_oem_text("Toshiba e750"), 7);
    EXPECT_EQ(device_model_from_oem_text("SGH-i607"), 9);
    EXPECT_EQ(device_model_from_oem_text(""), 0);
    EXPECT_EQ(device_model_from_oem_text("Standard PC (Q35 + ICH9, 2009)"), 0);
}

TEST(DisplayDeviceModelTest, OnlyTheShortMotoTextIsModelEight)
{
    EXPECT_EQ(device_model_from_oem_text("MotoQ"), 8);
    EXPECT_EQ(device_model_from_oem_text("MotoQ9h"), 0);
}

TEST(DisplayDeviceModelTest, ModelEightReportsAreTurnedBackOneStep)
{
    for (int reported = 0; reported < 4; ++reported) {
        EXPECT_EQ(corrected_orientation(0, reported), reported);
        EXPECT_EQ(corrected_orientation(8, reported), (reported + 3) % 4);
    }
}
