// Precompiled for every test program: GoogleTest and GoogleMock, and the sets above.
#pragma once

#include "desktop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
