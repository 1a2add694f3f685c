#pragma once

#include <cstdlib>

// Keys a maker installed on this machine (/etc/quorix/trusted-keys, the user's
// config) must not change what a test of the whole program expects. Under Wine the
// program's own folders are the build tree and a private prefix: none there.
#ifndef _WIN32
inline const bool kNoInstalledKeys = [] {
    return ::setenv("QUORIX_TRUSTED_KEY_DIRS", "", 1) == 0;
}();
#endif
