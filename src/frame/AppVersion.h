#pragma once

// The version the user sees (about box, error reports) and the build number the maker's
// server compares.
inline constexpr char appVersionNumber[] = "2.14.12";
inline constexpr int appBuildNumber = 40;
