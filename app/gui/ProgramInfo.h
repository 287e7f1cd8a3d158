// SPDX-License-Identifier: MIT
// What the window says about the program: its name, version and web address.
#pragma once

namespace covrilo {

#ifdef COVRILO_VERSION
inline constexpr const char* kProgramVersion = COVRILO_VERSION;
#else
inline constexpr const char* kProgramVersion = "2.0.1";
#endif
// The application title (task bar, desktop file).
inline constexpr const char* kProgramTitle = "Covrilo Light";
inline constexpr const char* kWebAddress = "https://covrilo.org";

}  // namespace covrilo
