// The window's place and size in the user's profile, section "DCF 77 DECODER".
#pragma once

// The program's section of the user's profile.
constexpr char kSettingsSection[] = "DCF 77 DECODER";

// Reads "X", "Y", "W" and "H" into WindowGeometry, with 20, 20, 100 and 50 for missing or
// empty keys; each is read as GetProfileIntA reads it, but negatives stay negative.
void LoadSettings();

// Writes WindowGeometry back as decimal strings, in the order X, Y, W, H.
void SaveSettings();
