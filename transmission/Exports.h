#pragma once

// The library's entry points: plain C names, visible outside a library built with hidden
// visibility, never letting an exception cross into the caller.
#define NOTAVIA_EXPORT extern "C" __attribute__((visibility("default")))
