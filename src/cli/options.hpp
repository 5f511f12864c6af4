#pragma once

#include "app/settings.hpp"

// 10 raised to (dB x 0.05), correctly rounded: the linear amplitude of a level in dB.
double db_to_gain(double db);

// (percent x 0.01) x TWO_PI, the product with 0.01 formed first.
double percent_to_radians(double percent);

// Walks the whole argument vector and stores every accepted option value in `settings`, on top
// of what is there. Returns 0, or -1 on the help switch (no message) or on a rejected value
// (after printing that option's one message).
int parse_options(GeneratorSettings& settings, int argc, const char* const* argv);
