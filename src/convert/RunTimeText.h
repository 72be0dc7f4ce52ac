#pragma once
#include <QString>

namespace sondrel {

// The estimate of the time a run still needs, from the time it took so far and the share of
// the work done (0..1); negative while too little is done to tell.
double remainingSeconds(double elapsedSeconds, double shareDone);

// "0:12 elapsed, 1:05 left" beside the progress bar; without the second part while the
// remaining time is unknown (negative).
QString runTimeText(double elapsedSeconds, double remainingSeconds);

// m:ss, or h:mm:ss from an hour on.
QString clockText(double seconds);

} // namespace sondrel
