#pragma once

// The start-up check of the device support: the loader's result, with a warning box when it is 0 or
// below (never on this platform).
int mobiledevice_init();
