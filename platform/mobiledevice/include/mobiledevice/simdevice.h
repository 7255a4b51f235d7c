#pragma once

// Result codes of the simulated device library, beside the codes a phone folder's "Sim"
// knobs choose. Shaped like the real library's codes: negative as an int.
inline constexpr int simDeviceNotConnected = int(0xE8000084u);   // no such phone, or it left
inline constexpr int simDeviceNotPaired = int(0xE8000025u);      // validate or session without pairing
inline constexpr int simDeviceSessionInactive = int(0xE800001Du); // service or value without a session
inline constexpr int simDeviceUnknownService = int(0xE8000022u);  // a service the phone does not offer
inline constexpr int simDeviceInvalidArgument = int(0xE8000007u);   // a missing key, value or socket address
inline constexpr int simDeviceServiceUnreachable = int(0xE8000063u); // its relay socket did not answer
