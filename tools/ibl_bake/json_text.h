// JSON text for the tool's outputs (irradiance.json and the viewer page's embedded data).
#pragma once

#include <string>

namespace iblBake {

// A JSON string literal of `text`, quotes included. '<' is escaped as well, so the same text
// can sit inside an HTML <script> element without a "</script>" ending it early.
std::string jsonString(const std::string& text);

}  // namespace iblBake
