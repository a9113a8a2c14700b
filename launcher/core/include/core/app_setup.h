// Application-wide set-up at start-up: the organisation and application
// names that decide where the settings file lives, and the INI format.
#pragma once

struct GameProfile;

// Sets the profile's organisation name, the application name (the profile's
// window title), the launcher's version and the INI settings format.
void configureApplication(const GameProfile& profile);
