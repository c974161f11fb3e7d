// The searches' loopback server is the one the other subsystems' tests share.
#ifndef VEXOGEO_TESTS_GEOCODING_LOOPBACK_SERVER_H
#define VEXOGEO_TESTS_GEOCODING_LOOPBACK_SERVER_H

#include "support/loopback_server.h"

#endif
