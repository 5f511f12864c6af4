#pragma once

#include <cstdarg>
#include <cstdio>

// The tool's formatted printing. Conversions: %s text, %i int, %c character (passed as int),
// %.2f double (rounded by format_fixed2), %% a percent sign. Anything else is printed as it
// stands.
void vprint_to(std::FILE* out, const char* format, std::va_list args);

// Prints to standard output (or where console_keep_text_out_of sent the text). When standard
// output is a terminal every call reaches the screen at once (the spinner prints no line feed); to
// a file or pipe the output stays buffered.
void print_formatted(const char* format, ...);

// Decides once how standard output is flushed; call before the first print.
void console_init();

// When `path` names the file standard output already is (a redirect, /dev/stdout), every later
// print goes to standard error instead, or nowhere if that is the same file too: the tone file
// is then exactly what a named file would get.
void console_keep_text_out_of(const char* path);
