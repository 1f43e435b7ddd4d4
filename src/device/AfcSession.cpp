#include "device/AfcSession.h"

AfcSession::~AfcSession() = default;
