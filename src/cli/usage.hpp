#pragma once

// Prints the option menu. The defaults it shows are fixed, not the current settings.
void print_usage();
