#include "device/Backup2Channel.h"

Backup2Channel::~Backup2Channel() = default;
