#pragma once
// The data files the suite ships in its program folder: the proxy chain
// template "template.js", the ad-filtering script "no-ads.pac" and the two
// registry files with Internet Explorer's Internet zone for a safe session
// ("Zones High.reg") and for normal use ("Zones Standard.reg"), and the
// Flash switch of the settings dialog ("FlashOff.reg", "FlashOn.reg"). They are
// kept here as text, so that setting up a machine can put them in place
// without a separate install step.
#include <span>
#include <string_view>

#include "platform/machine/machine.hpp"

namespace kx::anonymity {

/// The registry files of the safe session.
inline constexpr std::string_view kZonesHigh = "Zones High.reg";
inline constexpr std::string_view kZonesStandard = "Zones Standard.reg";
/// The registry files that block and allow the Flash player in the browser.
inline constexpr std::string_view kFlashOff = "FlashOff.reg";
inline constexpr std::string_view kFlashOn = "FlashOn.reg";

struct ShippedFile {
    std::string_view name;  // the file name in the program folder
    std::string_view text;  // the content, lines ended by CR LF
};

/// Every shipped data file.
std::span<const ShippedFile> shippedFiles();

/// Writes each shipped file that is missing into `programFolder` (a Windows
/// path). Files already there are left alone: a user may have edited them.
/// False when one could not be written.
bool installShippedFiles(platform::Machine& machine, std::string_view programFolder);

}  // namespace kx::anonymity
