#pragma once

#include "app/settings.hpp"
#include "wave/byte_stream.hpp"

// What the writer tells its caller and asks of it, between blocks: each spinner step, with the
// character to show, and whether to stop. Either may be absent.
struct WriteProgress {
  void (*show_spinner)(char shown) = nullptr;
  bool (*stop_requested)() = nullptr;
};

// Writes the whole tone file named in `settings`, turning the spinner through `progress`.
// Returns 0 when the file was opened, filled and closed without error; -1 when there is no file
// name, it cannot be opened or another run is writing it, any write or the close fails, or a
// stop was requested (it then stops between blocks). On -1, `error` (where given) says
// why: an errno value, or kFileInUse (0 after a stop). What a run that failed or stopped part
// way wrote to a regular file is cut to its whole frames, its header saying so, or taken back if
// that cannot be done; a pipe or a device is left as it is. Standard output as the file is
// written where it stands and mended only in what this run wrote.
int write_wave_file(GeneratorSettings& settings, const WriteProgress& progress = {},
                    int* error = nullptr);
