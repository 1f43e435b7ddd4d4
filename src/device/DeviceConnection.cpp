#include "device/DeviceConnection.h"

DeviceConnection::~DeviceConnection() = default;
