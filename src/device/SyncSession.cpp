#include "device/SyncSession.h"

SyncSession::~SyncSession() = default;
