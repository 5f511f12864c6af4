#pragma once

#include "app/settings.hpp"

// Writes the whole tone file named in `settings`, showing the spinner on standard output.
// Returns 0 when the file was opened, filled and closed without error; -1 when there is no file
// name, it cannot be opened, any write or the close fails, or a signal asked the run to stop (it
// then stops between blocks). A regular file that failed or stopped part way is cut to the whole
// frames that reached it, its header saying so, or removed if that cannot be done; anything else
// (a FIFO, a device) is left as it is.
int write_wave_file(GeneratorSettings& settings);
