#pragma once

// The phase accumulator for a block of frames, in runs where the recurrence allows it.
//
// Within one binade [2^e, 2^(e+1)) every double is a multiple of its spacing s = 2^(e-52),
// so rounding phase + increment to a double inside the binade adds round(increment / s) x s
// whatever the phase: the same step d every frame, unless the increment lies exactly halfway
// between two multiples of s (then the rounding follows the phase's last bit). So while the phase
// stays in the binade and below TWO_PI (no wrap), the recurrence is the progression p0 + j x d,
// and every p0 + j x d is exact: j x d = p_j - p0 is a multiple of s below 2^e. The same holds
// for a phase that grows (an increment above TWO_PI: a wrap every frame) while the sum and what
// the wrap leaves stay in the binade: d is then the increment and TWO_PI, each rounded to s, the
// one less the other. Such runs are filled eight frames at a time; everything else (binade
// crossings, wraps, halfway steps, small phases) goes one frame at a time through advance_phase.

// out[i] = the phase before the i-th advance, for `count` frames from `phase`; returns the phase
// after them. Exactly what `count` calls of advance_phase give.
double fill_phases(double phase, double increment, double* out, int count);
