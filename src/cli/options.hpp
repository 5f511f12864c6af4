#pragma once

#include "app/settings.hpp"

// 10 raised to (dB x 0.05), correctly rounded: the linear amplitude of a level in dB.
double db_to_gain(double db);

// (percent x 0.01) x TWO_PI, the product with 0.01 formed first.
double percent_to_radians(double percent);

// What parse_options returns when "--version" is met before any help switch or rejected value.
inline constexpr int kVersionRequested = 1;

// Walks the whole argument vector and stores every accepted option value in `settings`, on top
// of what is there. Returns 0; -1 on a help switch ("-?", "-h", "-help", "--help"; no message)
// or on a rejected value (after printing that option's one message); or kVersionRequested.
// Each position looks at its name and then its value for a switch before applying the option.
int parse_options(GeneratorSettings& settings, int argc, const char* const* argv);

// The file a whole walk of the arguments would name: the last non-empty "-file" value, wherever
// it stands, or nullptr. Known before the walk, so that no text goes to standard output when
// that is the file, not even a message about a value.
const char* named_file(int argc, const char* const* argv);
