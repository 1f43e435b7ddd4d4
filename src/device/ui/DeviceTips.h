#pragma once

// Shows the device list's notes in the application's message boxes (call once on the GUI thread,
// before IOSDeviceMonitor::start()).
void installDeviceTips();
