// The entry point's state: the lighting switch and its key latch.
#pragma once

extern bool lighting_on;
extern bool lighting_key_latched;
