#pragma once
// The running totals of the cleaner, kept in the settings store (section
// "Stat"): how many files it removed and how many megabytes it freed since
// its first use. The information window's sentence (anonymity/frm_info.hpp,
// infoSentence) shows them.
#include <cstdint>
#include <string>

#include "settings/keys.hpp"

namespace kx::cleaning {

/// KXStatistics: adds to "nFiles" and "nMB" of the given settings and stores
/// both back (creating them when absent). Stored values that are no number count as 0; a figure
/// that is no finite number adds nothing. Errors are suppressed.
void addStatistics(const settings::AppSettings& options, std::int32_t lnFiles, double dblMB);

/// A number as the totals store it: plain decimal digits with "." before
/// the fraction and never an exponent, so that reading it back gives the
/// same value ("0.0009765625", not "9.765625E-04").
std::string totalText(double value);

}  // namespace kx::cleaning
