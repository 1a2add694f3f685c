#pragma once

class CCBitmapCache;

// Starts the page framework once per process (later calls only count): the timer
// resolution, the bitmap cache and the font system.
void startFramework();
// The process-wide bitmap cache; created by startFramework (or on first use).
CCBitmapCache& bitmapCache();
