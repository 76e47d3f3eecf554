#include "display/device_model.h"

#include <fstream>
#include <string>

namespace {

// The model whose orientation reports are one step off.
constexpr int rotated_reports_model = 8;

struct DeviceName {
    int model;
    std::string_view name;
};

constexpr DeviceName device_names[] = {
    {1, "Compaq iPAQ H3800"}, {2, "Compale P6C"},  {3, "Typhoon"}, {4, "Toshiba e310"}, {5, "Toshiba e330"},
    {6, "Toshiba e740"},      {7, "Toshiba e750"}, {8, "MotoQ"},   {9, "SGH-i607"},
};

// The OEM text of a Linux machine: its DMI product name, without the line end.
std::string read_oem_text()
{
    std::ifstream file("/sys/class/dmi/id/product_name");
    std::string text;
    std::getline(file, text);
    return text;
}

}  // namespace

int device_model_from_oem_text(std::string_view oem_text)
{
    for (const DeviceName& device : device_names) {
        // A longer text that merely starts with "MotoQ" is another device.
        bool matches =
            device.model == rotated_reports_model ? oem_text == device.name : oem_text.starts_with(device.name);
        if (matches)
            return device.model;
    }
    return 0;
}

int device_model()
{
    static const int model = device_model_from_oem_text(read_oem_text());
    return model;
}

int corrected_orientation(int model, int reported)
{
    int orientation = reported & 3;
    return model == rotated_reports_model ? (orientation + 3) & 3 : orientation;
}
