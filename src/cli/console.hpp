#pragma once

#include <cstdarg>
#include <cstdio>

// The tool's formatted printing. Conversions: %s text, %.*s the first n characters of a text
// (n passed as int first), %i int, %c character (passed as int), %.2f double (rounded by
// format_fixed2), %% a percent sign. Anything else is printed as it stands.
void vprint_to(std::FILE* out, const char* format, std::va_list args);

// Prints to standard output (or where console_keep_text_out_of sent the text). When standard
// output is a terminal every call reaches the screen at once (the spinner prints no line feed); to
// a file or pipe the output stays buffered.
void print_formatted(const char* format, ...);

// Prints "tonegen: ", the text and a line feed on standard error, on a line of its own even
// where standard error shares a screen or file with text whose line is still open.
void print_error(const char* format, ...);

// Decides once how standard output is flushed; call before the first print.
void console_init();

// When `path` names the file standard output already is (a redirect, /dev/stdout), every later
// print goes to standard error instead, or nowhere if that is the same file too: the tone file
// is then exactly what a named file would get.
void console_keep_text_out_of(const char* path);

// Hands what is printed so far to its file.
void console_flush();

// Why some text could not be written to standard output (an errno value; EBADF where it was
// closed when the run began), or 0.
int console_text_error();

// Sends print_error's lines to `out` instead, or nowhere for nullptr.
void console_send_errors_to(std::FILE* out);
