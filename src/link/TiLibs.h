#pragma once

// The link libraries' headers, for the link's own sources and its tests.
// They are C, and one of them uses C's restrict.
#define restrict __restrict
#include <ticables.h>
#include <ticalcs.h>
#include <tifiles.h>
#undef restrict
