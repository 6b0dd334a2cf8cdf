// Precompiled for the code that draws: the display-free set and the gtkmm stack (glibmm, giomm,
// gdkmm, gtkmm), which most of it includes.
#pragma once

#include "core.h"

#include <gtkmm.h>
