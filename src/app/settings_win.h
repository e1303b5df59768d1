// The program's section of the user's profile, "DCF 77 DECODER": the window's place and
// size, and the time adjustment horax has in force.
#pragma once

// The program's section of the user's profile.
constexpr char kSettingsSection[] = "DCF 77 DECODER";
// The key of that section that holds the adjustment horax put in force last, while one is.
constexpr char kAdjustmentKey[] = "Adjustment";

// Reads "X", "Y", "W" and "H" into WindowGeometry, with 20, 20, 100 and 50 for missing or
// empty keys; each is read as GetProfileIntA reads it, but negatives stay negative.
void LoadSettings();

// Writes WindowGeometry back as decimal strings, in the order X, Y, W, H.
void SaveSettings();
