#pragma once

// The phase accumulator for a block of frames, in runs where the recurrence allows it.
//
// Within one binade [2^e, 2^(e+1)) every double is a multiple of its spacing s = 2^(e-52),
// so rounding phase + increment to a double inside the binade adds round(increment / s) x s
// whatever the phase: the same step d every frame, unless the increment lies exactly halfway
// between two multiples of s (then the rounding follows the phase's last bit). So while the phase
// stays in the binade and below TWO_PI (no wrap), the recurrence is the progression p0 + j x d, and
// every p0 + j x d is exact: j x d = p_j - p0 is a multiple of s below 2^e. A run's length is
// found with a few exact comparisons and the whole run filled at once; only the step out of it (a
// binade crossing or a wrap), halfway steps, subnormal phases and increments of a full turn or
// more go one frame at a time through advance_phase: about log2(TWO_PI / increment) serial steps
// a turn.

// Room fill_phases needs past the frames it is asked for: it writes runs eight at a time.
inline constexpr int kPhaseSlack = 7;

// out[i] = the phase before the i-th advance, for `count` frames from `phase`; returns the phase
// after them. Exactly what `count` calls of advance_phase give. out must have room for
// count + kPhaseSlack values; those past count are left with any value.
double fill_phases(double phase, double increment, double* out, int count);
