#pragma once
// Device models recognised from the system's OEM text, for device-specific
// corrections inside the display layer. A desktop matches none of them.

#include <string_view>

// 1 "Compaq iPAQ H3800", 2 "Compale P6C", 3 "Typhoon", 4 "Toshiba e310",
// 5 "Toshiba e330", 6 "Toshiba e740", 7 "Toshiba e750", 8 "MotoQ",
// 9 "SGH-i607"; 0 when none matches.
int device_model_from_oem_text(std::string_view oem_text);
// The model of this machine, read once from its OEM text.
int device_model();
// The true orientation for what the system reports (model 8 reports one step off).
int corrected_orientation(int model, int reported);
